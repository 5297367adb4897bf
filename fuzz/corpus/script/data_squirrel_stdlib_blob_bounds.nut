// Blob indices, positions and stream errors.
local b = blob(4);
foreach (i in [-1, 4, 100]) {
    try {
        local x = b[i];
        print("read " + i + "\n");
    } catch (e) {
        print(e + "\n");
    }
}
// expect: the index '-1' does not exist
// expect: the index '4' does not exist
// expect: the index '100' does not exist
try {
    b[4] = 1;
} catch (e) {
    print(e + "\n");
}
// expect: the index '4' does not exist
print(b.seek(5) + " " + b.seek(-1) + " " + b.seek(4) + " " + b.tell() + " " + b.eos() + "\n");
// expect: -1 -1 0 4 1
foreach (f in [function() : (b) { return b.readn('i'); }, function() : (b) { return b.readblob(10); },
        function() : (b) { return b.readn('q'); }, function() : (b) { return b.writen(1, 'q'); },
        function() : (b) { return b.seek(0, 'x'); }, function() : (b) { return b.writeblob(stdout); },
        function() : (b) { return b.resize(-1); }, function() : (b) { return blob(-5); },
        function() : (b) { return blob.instance().len(); },
        function() : (b) { return blob.resize.call(stdout, 3); }]) {
    try {
        f();
        print("no error\n");
    } catch (e) {
        print(e + "\n");
    }
}
// expect: io error
// expect: no data left to read
// expect: invalid format
// expect: invalid format
// expect: invalid origin
// expect: invalid parameter
// expect: resize failed
// expect: cannot create blob with negative size
// expect: the stream is invalid
// expect: invalid type tag
b[0] = 0x41;
b.seek(0, 'e');
print(b.writeblob(b) + " " + b.len() + " " + b[4] + "\n");
// expect: 4 8 65
b.resize(2);
print(b.len() + " " + b.tell() + "\n");
// expect: 2 2
b.resize(10);
print(b.len() + "\n");
// expect: 2
b.writen(0x0102, 'w');
print(b.len() + " " + b[2] + " " + b[3] + "\n");
// expect: 4 2 1
local c = clone b;
c[0] = 9;
print(b[0] + " " + c[0] + " " + c.len() + "\n");
// expect: 65 9 4
b.seek(0);
local copy = b.readblob(100);
print(copy.len() + " " + copy[0] + " " + typeof copy + "\n");
// expect: 4 65 blob
