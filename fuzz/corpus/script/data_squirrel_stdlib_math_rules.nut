// Math library corners: integer abs, float results, the refused seed.
print(abs(-2147483647 - 1) + " " + typeof floor(2) + " " + typeof abs(2.5) + "\n");
// expect: -2147483648 float integer
print(RAND_MAX + " " + typeof PI + " " + (PI * 2) + "\n");
// expect: 32767 float 6.28319
print(atan2(1, 0) + " " + pow(2, 10) + " " + sqrt(-1 * 0) + "\n");
// expect: 1.5708 1024 0
srand(7);
// expect error: invalid param
