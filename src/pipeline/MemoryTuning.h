#pragma once

namespace keelwick {

/// Lets the program keep freed memory for the next drawing instead of handing it back to the
/// system at once. One drawing's SVG text can be tens of megabytes; by default each such block
/// is mapped afresh for every drawing, and fresh pages cost more than the conversion that
/// fills them. Peak memory stays that of the largest drawing. Call once at program start.
void keepMemoryBetweenDrawings();

}  // namespace keelwick
