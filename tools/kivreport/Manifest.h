#pragma once
// The JSON manifest of `repo create` and `repo export`: the snapshots of a
// repository with their texts and field values, and their content as files
// beside the manifest (PNG/JPEG pictures, .mdlx models, CSV tables) or inline
// table rows.
//
//   {"snapshots": [
//     {"type": "image", "name": "plate", "title": "...", "description": "...",
//      "fieldValues": {"DATABASE_NAME": "plate.mdb"}, "cloudViewerUrl": "",
//      "image": "plate.png"},
//     {"type": "model", "name": "beam", "model": "beam.mdlx"},
//     {"type": "table", "name": "deflection",
//      "table": {"csv": "deflection.csv", "xAxisTitle": "x", "yAxisTitle": "w"}},
//     {"type": "table", "name": "summary", "table": {"rows": [["a", "b"], ["1", "2"]]}}]}
#include "KivReport/Repository.h"
#include "LibCore/lfwRef.h"
#include <string>
#include <vector>

namespace kivcli {

// Reads the manifest and everything it names into a new repository. Throws
// InputError for a missing or malformed manifest or content file. Snapshots whose
// name had to change to stay unique are reported in *warnings; the files read
// (the manifest first) are listed in *inputs.
lfw::Ref<kiv::rep::Repository> repositoryFromManifest(const std::string& manifestPath, std::vector<std::string>* warnings,
                                                      std::vector<std::string>* inputs);

// Writes each snapshot's content into the existing folder `folder` under a safe,
// unique file name, and "manifest.json" naming them, which repositoryFromManifest
// reads back to the same snapshots. Snapshots without content are listed with a
// null content and reported in *warnings.
void exportRepository(const kiv::rep::Repository& repository, const std::string& folder, std::vector<std::string>* warnings);

// The listing of `repo show`: as text, or as JSON.
std::string describeRepository(const kiv::rep::Repository& repository, const std::string& path, bool json);

extern const char* const kManifestFileName;  // "manifest.json"

}  // namespace kivcli
