/* A shared library that is not a design package: it has no entry. */
int ZtlSomethingElse(void) { return 42; }
