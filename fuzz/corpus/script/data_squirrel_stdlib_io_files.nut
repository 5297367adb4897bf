// Files: opening errors, numbers through a file, the loader from scripts.
foreach (f in [function() { return file("no_such_dir_q/none.bin", "rb"); },
        function() { return file("x.bin", 5); },
        function() { return loadfile("missing.nut"); },
        function() { return dofile("missing.nut"); },
        function() { return loadfile(1); }]) {
    try {
        f();
        print("no error\n");
    } catch (e) {
        print(e + "\n");
    }
}
// expect: cannot open file
// expect: wrong parameter
// expect: cannot open the file
// expect: cannot open the file
// expect: parameter 1 has an invalid type 'integer' ; expected: 'string'
local f = file("numbers.bin", "wb+");
f.writen(0x01020304, 'i');
f.writen(-1, 'w');
f.writen(1.5, 'd');
f.writen(-2, 'c');
f.seek(0);
print(f.readn('b') + " " + f.readn('b') + " " + f.readn('s') + " " + f.readn('w') + " "
    + f.readn('d') + " " + f.readn('b') + " " + f.len() + "\n");
// expect: 4 3 258 65535 1.5 254 15
f = null;
local m = file("Module.nut", "wb");
foreach (c in "return this.marker + 1;") m.writen(c, 'b');
m = null;
marker <- 41;
print(dofile("Module.nut") + " " + dofile("MODULE.NUT") + " " + dofile(".\\module.nut") + "\n");
// expect: 42 42 42
local fn = loadfile("module.nut");
print(typeof fn + " " + fn.call({marker = 1}) + "\n");
// expect: function 2
print(typeof stdout + " " + typeof stdin + " " + typeof stderr + " " + (stdout instanceof file) + "\n");
// expect: file file file true
local w = file("text.txt", "w");
foreach (c in "a\nb") w.writen(c, 'b');
w = null;
local r = file("text.txt", "r");
local got = r.readblob(10);
print(file("text.txt", "rb").len() + " " + got.len() + " " + got[1] + " " + r.eos() + "\n");
// expect: 4 3 10 1
