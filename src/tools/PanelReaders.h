#pragma once

// Readers of the tool pages' filter groups, shared by the compute-and-show
// chains and the segmentation runs that compute the same features.

#include <QComboBox>
#include <QDoubleSpinBox>
#include <QPointer>

#include "filter/FilterType.h"

// One filter-parameter group of a page, as the drivers take it.
struct FilterSettings {
    Filter::FilterType type = Filter::linear;
    double linearTimestep = 0.0;
    double sensitivity = 0.0;
    double nonlinearTimestep = 0.0;
};

// False when a control of the group is gone or no type is chosen.
inline bool readFilter(const QPointer<QComboBox>& type, const QPointer<QDoubleSpinBox>& linear,
                       const QPointer<QDoubleSpinBox>& sensitivity, const QPointer<QDoubleSpinBox>& nonlinear,
                       FilterSettings& out)
{
    if (!type || !linear || !sensitivity || !nonlinear)
        return false;
    const int index = type->currentIndex();
    if (index < Filter::linear || index > Filter::geometricMCF)
        return false;
    out = {static_cast<Filter::FilterType>(index), linear->value(), sensitivity->value(), nonlinear->value()};
    return true;
}
