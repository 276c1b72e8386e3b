// The UTF-8 validator is declared with the rest of the UTF-8 toolkit; this
// name stays for the command-line tool's include.
#pragma once

#include "text/utf8.h"
