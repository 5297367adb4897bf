// eos() compares the position with the length; reading never has to fail first.
local f = file("data.bin", "wb+");
print(f.eos() + "\n");
// expect: 1
f.writen(7, 'i');
print(f.eos() + " " + f.tell() + "\n");
// expect: 1 4
f.seek(0);
print(f.eos() + "\n");
// expect: (null : 0x00000000)
f.readn('s');
print(f.eos() + "\n");
// expect: (null : 0x00000000)
f.readn('s');
print(f.eos() + "\n");
// expect: 1
f.seek(1);
f.seek(0, 'e');
print(f.eos() + "\n");
// expect: 1
f.seek(3, 'e');
print(f.eos() + " " + f.tell() + " " + f.len() + "\n");
// expect: (null : 0x00000000) 7 4
f = null;
local empty = file("empty.bin", "wb");
empty = null;
print(file("empty.bin", "rb").eos() + "\n");
// expect: 1
local b = blob(4);
print(b.eos() + " ");
b.seek(4);
print(b.eos() + " ");
b.resize(2);
print(b.eos() + " " + blob().eos() + "\n");
// expect: (null : 0x00000000) 1 1 1
