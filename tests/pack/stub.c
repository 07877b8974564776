/* A small Windows program the native tests use as an installer stub: linked by mingw
   (which writes the PE checksum) once with its symbol table and once stripped. */
#include <stdio.h>

int main(void) {
  puts("stub");
  return 0;
}
