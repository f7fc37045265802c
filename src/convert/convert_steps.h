// The steps of a conversion that each output format takes: for the files
// of the conversion path alone.
#pragma once

#include <ostream>
#include <string>

#include "convert/convert.h"

// Keeps the reason of a failure and the file its line names.
Failure& fail(Converted* done, const std::string& name, const std::string& why);

// The run's textures, or none shared: the model's lookups and images its own.
const RunTextures& textures_of(const Conversion& job);

// The model opened and, where the settings need one, a geoset found.
bool open_model(const Settings& settings, const Conversion& job, ModelSource* src, Converted* done);

// The model's chunks walked; false where the model could not be read.
bool walk_model_chunks(const Conversion& job, ModelSource* src, ModelChunks* chunks,
                       Converted* done);

// The end of a conversion whose file is in place: done, or, where the walk
// stopped early (`why`), partial: every whole record before the cut kept, and
// the line says so (`output_shown`: the file it is in).
Converted& end_conversion(Converted* done, const Conversion& job, bool to_stdout, bool walked,
                          const std::string& why, const std::string& output_shown);

// The model as one GLB file, its images inside.
Converted convert_to_glb(const Settings& settings, const Conversion& job, std::ostream& out);
