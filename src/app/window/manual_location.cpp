#include "app/window/manual_location.h"

#include <system_error>

namespace tally {

ManualPlaces ManualPlacesFor(const std::filesystem::path& programDir) {
    // Relative to the installed program's folder, as the build's install rules lay it out.
    const std::filesystem::path docDir = programDir / TALLYSCOPE_DOC_FROM_BINDIR;
    const std::filesystem::path manDir = programDir / TALLYSCOPE_MAN_FROM_BINDIR;
    return ManualPlaces{(docDir / "README.md").lexically_normal(),
                        (manDir / "tallyscope.1.gz").lexically_normal(),
                        std::filesystem::path(TALLYSCOPE_SOURCE_DIR) / "README.md"};
}

std::filesystem::path ChooseManual(const ManualPlaces& places) {
    for (const std::filesystem::path& place :
         {places.installedReadme, places.installedManPage, places.sourceReadme}) {
        std::error_code error;
        if (!place.empty() && std::filesystem::is_regular_file(place, error)) return place;
    }
    return std::filesystem::path();
}

}  // namespace tally
