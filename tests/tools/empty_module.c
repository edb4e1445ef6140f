/* An otherwise empty module: the version-resource test files are DLLs built
   from this and one .rc file each. */
int DiagnovaVersionProbe(void) { return 0; }
