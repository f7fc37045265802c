// The kind of file a model becomes.
#pragma once

enum class OutputFormat : unsigned char {
  kObj,  // the OBJ text (with -m its MTL and images beside it)
  kGlb,  // one glTF 2.0 binary file, its images inside
};

// The output's extension: ".obj" or ".glb".
inline const char* format_extension(OutputFormat format) {
  return format == OutputFormat::kGlb ? ".glb" : ".obj";
}
