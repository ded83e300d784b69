// Where the manual lies: the README installed with the program, else its
// installed manual page, else the README of the source tree it was built from.
// The places are found from the program's own folder, so an install under any
// prefix finds its own manual.
#pragma once

#include <filesystem>

namespace tally {

struct ManualPlaces {
    std::filesystem::path installedReadme;   // PREFIX/share/doc/tallyscope/README.md
    std::filesystem::path installedManPage;  // PREFIX/share/man/man1/tallyscope.1.gz
    std::filesystem::path sourceReadme;      // the source tree's README.md
};

// The places for a program in programDir (the executable's folder).
ManualPlaces ManualPlacesFor(const std::filesystem::path& programDir);

// The first of the places that is a file, or an empty path when there is none.
std::filesystem::path ChooseManual(const ManualPlaces& places);

}  // namespace tally
