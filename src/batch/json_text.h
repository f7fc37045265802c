// The run's results as JSON lines for programs (--json), written by our own
// small escaper.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

// `bytes` as a JSON string, quotes included: valid JSON in UTF-8 whatever the
// bytes. A byte that is no part of valid UTF-8 (a Linux file name may hold
// one) becomes the escape \udcXX, XX its value, which Python's
// surrogateescape reads back as that byte, so that a script can name the file.
std::string json_string(const std::string& bytes);

// One model's line: {"type": "model", "model": ..., "obj": ..., "output": ...,
// "status": ...}, then `fields` (each `, "name": value` already), and a
// newline. The output file is "obj" too only where it is an OBJ (`obj_run`).
std::string json_model(const std::string& model, const std::string& output, bool obj_run,
                       const char* status, const std::string& fields);

// A failure that is no model's: {"type": "failure", "path": ..., "error": ...}
// and a newline.
std::string json_failure(const std::string& path, const std::string& error);

// A field of a line: `, "name": value`.
std::string json_field(const char* name, const std::string& text);
std::string json_field(const char* name, std::uint64_t number);
std::string json_field(const char* name, double seconds);
// A field whose value is a list of strings: `, "name": [...]`.
std::string json_field(const char* name, const std::vector<std::string>& texts);
