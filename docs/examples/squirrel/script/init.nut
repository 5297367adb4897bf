// Squirrel 2.1 as the program runs it: each line of the log shows one
// rule, the ones that surprise people who know later versions best.
function show(what, value)
{
	print(what + ": " + value);
}

function attempt(what, call)
{
	try {
		show(what, call());
	} catch (error) {
		show(what, "error '" + error + "'");
	}
}

class Animal
{
	name = null;
	constructor(animalName)
	{
		name = animalName;
	}
	function speak()
	{
		return name + " makes a sound";
	}
}

class Dog extends Animal
{
	constructor(dogName)
	{
		Animal.constructor(dogName);	// the base constructor runs only when called
	}
	function speak()
	{
		return Animal.speak() + ": woof";
	}
}

function count(...)
{
	local total = 0;
	for (local i = 0; i < vargc; i++)
		total += vargv[i];
	return vargc + " numbers, total " + total;
}

function onLoad()
{
	show("version", _version_);

	// Numbers: 32-bit integers that wrap, 32-bit floats printed with 6 digits.
	show("7 / 2", 7 / 2);
	show("7 / 2.0", 7 / 2.0);
	show("2147483647 + 1", 2147483647 + 1);
	show("1.0 / 3", 1.0 / 3);
	show("3.0", 3.0);
	show("1.0e10", 1.0e10);
	show("010", 010);
	show("typeof 3, 3.0, \"3\"", typeof 3 + ", " + typeof 3.0 + ", " + typeof "3");
	show("\"12\".tointeger() + 1", "12".tointeger() + 1);
	show("null in a string", "[" + null + "]");

	// Globals: "<-" makes a new slot, "=" only changes an existing one.
	attempt("undeclared = 1", function() { undeclared = 1; return undeclared; });
	attempt("declared <- 1", function() { declared <- 1; return declared; });

	// Functions do not see the locals of the function around them...
	local base = 10;
	attempt("a local of the outer function", function() { return base + 1; });
	// ...unless they list them as free variables, copied when made.
	local addBase = function(x) : (base) { return x + base; };
	base = 20;
	show("with a free variable", addBase(1));

	show("varargs", count(1, 2, 3));
	show("a derived class", Dog("Rex").speak());

	// Arrays, tables and strings.
	local list = [3, 1, 2];
	show("append returns", list.append(4));
	list.sort();
	show("sorted", list[0] + " " + list[1] + " " + list[2] + " " + list[3]);
	local table = {hp = 10, mp = 3};
	show("\"hp\" in table", "hp" in table);
	show("len", table.len() + ", " + "hello".len());
	show("format", format("%05d|%.2f|%s", 42, 3.14159, "text"));
	show("split", split("a,b,,c", ",").len());
	show("slice", "tesserae".slice(0, 4));
	show("floor(2.7)", floor(2.7) + " (" + typeof floor(2.7) + ")");
	show("PI", PI);
	show("rand() is at most RAND_MAX", rand() <= RAND_MAX);
	attempt("srand(5)", function() { return srand(5); });
	show("compilestring", compilestring("return 6 * 7;")());
}

function onProc()
{
	setMainLoopEnd();
}

function onDraw()
{
}

function onUnload()
{
}
