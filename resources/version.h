// The program's version: file and product version, four numbers.
#pragma once
#define DIAGNOVA_VERSION_NUMBERS 1, 0, 0, 0
#define DIAGNOVA_VERSION_TEXT "1.0.0.0"
