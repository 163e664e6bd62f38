#include "controls.h"

#include "apperror.h"

#include <QCheckBox>

namespace nimbrel {

void setCheckValue(QCheckBox* box, qint16 value) {
    switch (value) {
    case 0:
        box->setCheckState(Qt::Unchecked);
        break;
    case 1:
        box->setCheckState(Qt::Checked);
        break;
    case 2:
        box->setCheckState(Qt::PartiallyChecked);
        break;
    default:
        throw AppError::invalidPropertyValue();
    }
}

qint16 checkValue(const QCheckBox* box) {
    switch (box->checkState()) {
    case Qt::Unchecked:
        return 0;
    case Qt::Checked:
        return 1;
    case Qt::PartiallyChecked:
        return 2;
    }
    return 0;
}

} // namespace nimbrel
