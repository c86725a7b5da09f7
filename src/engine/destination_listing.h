// The debug listing of where an install definition puts things: one line per install object,
// in the order the objects were created, with its expanded destination (or why it has none);
// dialog components, which install nothing, are left out.
// The setup program writes it when TMBY_DESTINATIONS names a file (README.md).
#pragma once

#include <string>

namespace tmby {

// "Name (TClass): C:\Program Files\Product" lines; an object whose destination cannot be expanded
// gets "! " and the message instead.
std::string ListDestinations();

}  // namespace tmby
