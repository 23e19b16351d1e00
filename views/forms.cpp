// Compiles the generated forms with the library even before a view includes
// them, so a broken form fails the library build rather than a test.
#include "views/forms.h"
