/* The program's version, in one place for the version resource and the
   code that names it (the run log). Plain macros: the resource compiler
   reads this file too. */
#pragma once

#define CAR_VERSION_MAJOR 1
#define CAR_VERSION_MINOR 0
#define CAR_VERSION_PATCH 0
#define CAR_VERSION_TEXT "1.0.0"
