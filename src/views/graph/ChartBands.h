#pragma once
// The HbA1c categories the chart shades behind the points, and the treatment target line. Each
// threshold is the one clinicians use in that unit, not a conversion of the other: a result of
// 39 mmol/mol and one of 5.7 % both start the middle band, although 5.7 % converts to 38.8.

#include <string>

enum class HbA1cCategory { Normal, Prediabetes, Diabetes };

struct ChartBandLimits {
    float prediabetes; // first value of the middle band
    float diabetes;    // first value of the upper band
    float target;      // the dashed line
    float axisMax;     // top of the vertical axis
};

// Unit 0 is percent, any other mmol/mol (as the settings read it).
ChartBandLimits BandLimitsFor(int unit);
// The category of a plotted value (as ChartResultValue gives it) in that unit.
HbA1cCategory CategoryOf(float plotted, int unit);
// The legend's name of a band, and of the target line.
std::string BandName(HbA1cCategory category, int unit);
std::string TargetName(int unit);
