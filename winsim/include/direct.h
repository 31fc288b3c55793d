// Host stand-in for the C runtime's <direct.h>.
#pragma once

int _chdrive(int drive);
