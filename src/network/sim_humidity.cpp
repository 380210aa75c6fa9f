// Moist air: saturation vapour pressure by the Hyland-Wexler correlations and the humidity
// ratio of the ambient.
#include <cmath>

#include "network/sim_data.h"
#include "support/error.h"

double satPressureHW(double T)
{
    double lnPs;
    if (T < 273.16) { // over ice
        lnPs = -5674.5359 / T + 6.3925247 - 0.009677843 * T + 6.2215701e-7 * T * T +
               2.0747825e-9 * T * T * T - 9.484024e-13 * T * T * T * T + 4.1635019 * std::log(T);
    } else { // over water
        lnPs = -5800.2206 / T + 1.3914993 - 0.048640239 * T + 4.1764768e-5 * T * T -
               1.4452093e-8 * T * T * T + 6.5459673 * std::log(T);
    }
    return std::exp(lnPs);
}

float humidityRatio(double T, double phi, double Pb)
{
    double pw = phi * satPressureHW(T);
    return (float)(0.62472 * pw / (Pb - pw));
}

float ambientHumidityRatio(FlowmirState* fms)
{
    double T = fms->Tambt;
    // The correlations hold between 203 K and 373 K.
    if (T < 203.0) {
        errorf(fms, ERROR, __FILE__, __LINE__, " T < 203: %4g", T);
        T = 203.0;
    } else if (T > 373.0) {
        errorf(fms, ERROR, __FILE__, __LINE__, " T > 373: %4g", T);
        T = 373.0;
    }
    return humidityRatio(T, fms->ambRH, fms->Pambt);
}
