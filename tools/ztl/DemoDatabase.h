// The demo database of the ztl program: where it lives and how it is made.
#pragma once

#include <string>

namespace ztl::cli {

// The demo database's file: $XDG_DATA_HOME/ztl/demo.db, or
// ~/.local/share/ztl/demo.db when XDG_DATA_HOME is not set (or not an
// absolute path). Empty when neither variable gives a place.
std::string DemoDatabasePath();

// Makes sure the demo database exists at Path, creating its directory, its
// schema (customers, products with a picture blob, orders, order lines) and
// its rows on first use. Raises with the database's message when that
// fails, leaving no half-made file behind.
void EnsureDemoDatabase(const std::string& Path);

// The demo form beside the demo database (demo.dfm next to demo.db): a data
// module with a session on that database, the customers and, through a data
// source, the current customer's orders, for ztl-designer
// to open. Written by the framework's form writer when it is missing; an
// existing file is the user's and is left as it is. Returns its path.
std::string EnsureDemoForm(const std::string& DatabasePath);

} // namespace ztl::cli
