// Strings are byte strings; indexing gives signed bytes.
local s = "h\x41\xE3llo";
print(s.len() + " " + s[1] + " " + s[2] + "\n");
// expect: 6 65 -29
print("\x41BC".len() + " " + 'a' + " " + '\n' + "\n");
// expect: 1 97 10
print(@"a\b""c" + "\n");
// expect: a\b"c
print("abcdef".slice(1, -1) + " " + "abc".find("c") + " " + ("abc".find("x") == null) + "\n");
// expect: bcde 2 true
try { "abc".slice(2, 1); } catch (e) { print(e + "\n"); }
// expect: wrong indexes
try { "abc".slice(0, 9); } catch (e) { print(e + "\n"); }
// expect: slice out of range
try { print("abc"[-1]); } catch (e) { print(e + "\n"); }
// expect: the index '-1' does not exist
print(" 42xyz".tointeger() + " " + "2.75".tofloat() + " " + "1e3".tofloat() + "\n");
// expect: 42 2.75 1
try { "abc".tointeger(); } catch (e) { print(e + "\n"); }
// expect: cannot convert the string
print(("a" < "b") + " " + ("abc" + null) + "\n");
// expect: true abc(null : 0x00000000)
print("MiXeD".toupper() + "MiXeD".tolower() + (65).tochar() + "\n");
// expect: MIXEDmixedA
