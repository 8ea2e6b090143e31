// A core layer including an operating system header.
#include <string>
#include <windows.h>
