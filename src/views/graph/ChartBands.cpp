#include "views/graph/ChartBands.h"

namespace {
// Plotted values are tenths of a percent or whole mmol/mol; the margin keeps a value that sits
// on a threshold in the band that starts there, whatever the float rounding.
constexpr float kMargin = 0.001f;
} // namespace

ChartBandLimits BandLimitsFor(int unit) {
    if (unit == 0)
        return {5.7f, 6.5f, 7.0f, 15.0f};
    return {39.0f, 48.0f, 53.0f, 150.0f};
}

HbA1cCategory CategoryOf(float plotted, int unit) {
    const ChartBandLimits l = BandLimitsFor(unit);
    if (plotted >= l.diabetes - kMargin)
        return HbA1cCategory::Diabetes;
    if (plotted >= l.prediabetes - kMargin)
        return HbA1cCategory::Prediabetes;
    return HbA1cCategory::Normal;
}

std::string BandName(HbA1cCategory category, int unit) {
    const bool percent = unit == 0;
    switch (category) {
    case HbA1cCategory::Normal:
        return percent ? "Below 5.7 %" : "Below 39 mmol/mol";
    case HbA1cCategory::Prediabetes:
        return percent ? "5.7 to 6.4 %" : "39 to 47 mmol/mol";
    case HbA1cCategory::Diabetes:
        break;
    }
    return percent ? "6.5 % and above" : "48 mmol/mol and above";
}

std::string TargetName(int unit) {
    return unit == 0 ? "Target 7.0 %" : "Target 53 mmol/mol";
}
