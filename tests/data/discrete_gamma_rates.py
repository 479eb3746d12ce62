#!/usr/bin/python3
"""Prints the mean rates of the discrete gamma categories that
tests/gamma_rates_test.cpp checks, computed independently of ribotrace:
the category bounds from scipy's gamma quantiles, each category's mean by
numerical integration of x f(x) over its slice (Debian's python3-scipy).
Run: /usr/bin/python3 tests/data/discrete_gamma_rates.py"""
import math

from scipy import integrate, stats

CASES = [(0.05, 4), (0.2, 4), (0.5, 4), (1.0, 4), (2.7, 4), (50.0, 4), (0.8, 2), (0.3, 8)]


def mean_rates(alpha, k):
    distribution = stats.gamma(a=alpha, scale=1.0 / alpha)  # shape = rate = alpha
    bounds = [0.0] + [distribution.ppf(i / k) for i in range(1, k)] + [math.inf]
    return [k * integrate.quad(lambda x: x * distribution.pdf(x), bounds[i], bounds[i + 1],
                               epsabs=0, epsrel=1e-13, limit=200)[0] for i in range(k)]


for alpha, k in CASES:
    print("    {%g, {%s}}," % (alpha, ", ".join("%.14g" % r for r in mean_rates(alpha, k))))
