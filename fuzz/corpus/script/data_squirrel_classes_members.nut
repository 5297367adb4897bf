// Classes: fields, statics, methods, inheritance, explicit base constructors.
class Base {
    name = "base";
    static K = "k";
    list = [];
    constructor(n) { name = n; }
    function describe() { return "Base " + name; }
}
class Derived extends Base {
    extra = 0;
    constructor(n) { Base.constructor(n); extra = 1; }
    function describe() { return "Derived " + name + " " + Base.describe(); }
}
local d = Derived("x");
print(d.describe() + " " + d.extra + " " + d.K + "\n");
// expect: Derived x Base x 1 k
local a = Base("a"), b = Base("b");
a.list.append(1);
print(b.list.len() + " " + (d instanceof Base) + " " + (a instanceof Derived) + "\n");
// expect: 1 true false
try { d.K = 2; } catch (e) { print(e + "\n"); }
// expect: the index 'K' does not exist
try { Base.newmember <- 1; } catch (e) { print(e + "\n"); }
// expect: trying to modify a class that has already been instantiated
try { d.z <- 1; } catch (e) { print(e + "\n"); }
// expect: indexing instance with string
try { Base.name = "n"; } catch (e) { print(e + "\n"); }
// expect: the index 'name' does not exist
local names = [];
foreach (k, v in Derived) names.append(k);
names.sort();
local s = "";
foreach (n in names) s += n + " ";
print(s + "\n");
// expect: K constructor describe extra list name 
class Attr </ doc = "cls" /> {
    </ hidden = true /> field = 1;
}
print(Attr.getattributes(null).doc + " " + Attr.getattributes("field").hidden + "\n");
// expect: cls true
try { 1 instanceof Base; } catch (e) { print(e + "\n"); }
// expect: cannot apply instanceof between a class and a integer
