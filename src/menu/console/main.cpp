// wdist-narrow / wdist-wide: the program's entry runs the menu and ends with
// exit status 1 when the menu returns.
#include "menu/console/menu.h"

int main() {
  wdist::run_menu();
  return 1;
}
