// 32-bit integers wrap; division truncates; % keeps the dividend's sign.
print((2147483647 + 1) + "\n");
// expect: -2147483648
print((65536 * 65536) + "\n");
// expect: 0
print((-7 / 2) + " " + (-7 % 2) + " " + (7 % -2) + "\n");
// expect: -3 -1 1
print(((-2147483647 - 1) / -1) + " " + ((-2147483647 - 1) % -1) + "\n");
// expect: -2147483648 0
print((1 << 33) + " " + (-8 >> 1) + " " + (-8 >>> 28) + "\n");
// expect: 2 -4 15
print(4294967297 + " " + 0xFFFFFFFF + " " + 010 + "\n");
// expect: 1 -1 10
try { print(1 % 0); } catch (e) { print(e + "\n"); }
// expect: division by zero
try { print(1 / 0); } catch (e) { print(e + "\n"); }
// expect: division by zero
try { print(1.0 & 1); } catch (e) { print(e + "\n"); }
// expect: bitwise op between 'float' and 'integer'
// Ordering uses the wrapped difference: a documented 2.1 quirk.
print((2000000000 < -2000000000) + "\n");
// expect: true
