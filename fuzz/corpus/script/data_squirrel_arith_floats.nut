// Floats are 32-bit and print with %g and three exponent digits.
print((1.0 / 3) + " " + 3.0 + " " + (0.1 + 0.2) + "\n");
// expect: 0.333333 3 0.3
print(1000000.0 + " " + 0.00001 + " " + 123456789.0 + "\n");
// expect: 1e+006 1e-005 1.23457e+008
print((16777216.0 + 1.0) + "\n");
// expect: 1.67772e+007
print((16777217).tofloat().tointeger() + "\n");
// expect: 16777216
print((0.0 == -0.0) + " " + (1 == 1.0) + " " + (-7.5).tointeger() + "\n");
// expect: false true -7
print((1.0 / 0) + " " + (-1.0 / 0) + "\n");
// expect: 1.#INF -1.#INF
print((5.5 % 2) + " " + (2 + 0.5) + " " + typeof (2 * 1.0) + "\n");
// expect: 1.5 2.5 float
