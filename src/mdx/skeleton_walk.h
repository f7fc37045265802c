// The skeleton walk: the node chunks that the chunk walk found (BONE, HELP,
// ATCH, PIVT, SEQS, GLBS) read into a skeleton, each track cleaned as the
// rules take it. Only a format that carries a skeleton reads it.
#pragma once

#include <string>
#include <vector>

#include "common/skeleton.h"
#include "mdx/chunk_walk.h"
#include "mdx/model_source.h"

// Reads the skeleton; where a chunk does not fit its layout, or the model is
// of another version than 800, the skeleton is empty and faults.unfit says
// why. False only where the file could not be read.
bool walk_skeleton(ModelSource& src, const ModelChunks& chunks, ModelSkeleton* skeleton,
                   std::string* err);

// The faults as the model's warnings, once each.
std::vector<std::string> skeleton_warnings(const SkeletonFaults& faults);

// The number of each track's value: 4 for a rotation, else 3.
inline int track_width(int path) { return path == kRotation ? 4 : 3; }
