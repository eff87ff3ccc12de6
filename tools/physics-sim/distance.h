#pragma once
// physics-sim distance: a table of volume pairs measured by GJK (with the
// penetration search) and by separating axes.

/// Prints the table; 0.
int RunDistance();
