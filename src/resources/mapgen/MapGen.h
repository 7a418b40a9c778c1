#pragma once

// Prints the tile table's rows as computed from the tiling grid; returns the
// process's exit code.
int printTable();
