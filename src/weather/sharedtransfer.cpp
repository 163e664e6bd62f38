#include "transfer.h"

#include <QCoreApplication>
#include <QPointer>

namespace nimbrel {

Transfer& sharedTransfer() {
    static QPointer<Transfer> instance;
    if (!instance)
        instance = new Transfer(QCoreApplication::instance());
    return *instance;
}

} // namespace nimbrel
