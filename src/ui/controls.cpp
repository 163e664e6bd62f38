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

} // namespace nimbrel
