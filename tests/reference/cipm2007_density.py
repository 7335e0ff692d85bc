#!/usr/bin/env python3
"""Reference densities of humid air for tests/test_airdensity.cpp.

CIPM-2007 equation for the density of moist air (Picard, Davis, Glaeser, Fujii,
Metrologia 45 (2008) 149-155), with x_CO2 = 0.0004, and the pressure of the
ICAO/ISO standard atmosphere at the altitude: p = 101325 (1 - 2.25577e-5 h)^5.25588.
"""
import math

R = 8.314472
MV = 18.01528e-3


def density(h_m, t_c, rh_pct, x_co2=0.0004):
    p = 101325.0 * (1.0 - 2.25577e-5 * h_m) ** 5.25588
    T = t_c + 273.15
    psv = math.exp(1.2378847e-5 * T * T - 1.9121316e-2 * T + 33.93711047 - 6.3431645e3 / T)
    f = 1.00062 + 3.14e-8 * p + 5.6e-7 * t_c * t_c
    xv = rh_pct / 100.0 * f * psv / p
    z = (1.0 - p / T * (1.58123e-6 - 2.9331e-8 * t_c + 1.1043e-10 * t_c * t_c
                        + (5.707e-6 - 2.051e-8 * t_c) * xv + (1.9898e-4 - 2.376e-6 * t_c) * xv * xv)
         + p * p / (T * T) * (1.83e-11 - 0.765e-8 * xv * xv))
    ma = (28.96546 + 12.011 * (x_co2 - 0.0004)) * 1e-3
    return p * ma / (z * R * T) * (1.0 - xv * (1.0 - MV / ma)), p


if __name__ == "__main__":
    for h, t, rh in [(0, 20, 40), (1000, 10, 80), (0, 35, 90), (0, 0, 0), (2000, -10, 50), (500, 25, 60)]:
        rho, p = density(h, t, rh)
        print(f"{h:5} m {t:4} C {rh:3} %  p = {p:9.1f} Pa  rho = {rho:.5f} kg/m3")
