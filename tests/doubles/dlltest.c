/* A tiny library for the binding tests: one function of each calling
   convention, exported by name and by a known ordinal. */
int __stdcall Twice(int x) { return 2 * x; }
int __cdecl Identity(int x) { return x; }
