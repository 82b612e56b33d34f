// The reader of textual AADL (.aadl files) and the choice of reader by file
// name.
//
// A text file gives the same packages that the AAXL reader gives for the
// same architecture: the implicit package of the declarations outside any
// package (named after the file, declarations last first) comes first, then
// the packages last first. Names are resolved while reading: classifiers get
// their package path and every name the spelling of its declaration;
// `extends` and `refined to` are applied, so the model has no ancestor left.
//
// Reports: located errors "*** file:line:col: error: ..." (a located user error) and
// located warnings on standard error (see aadl_text_lexer.hpp).
#pragma once

#include <string>
#include <vector>

#include "aadl/aadl_ast.hpp"

namespace vorquel {

// One textual file on its own (its names resolve within the file).
Model parse_aadl_source(int verbosity, const std::string& file_name);
// Same, from text already in memory (file_name names the implicit package
// and appears in messages).
Model parse_aadl_source_text(int verbosity, const std::string& file_name, std::string text);

// One file by its name: ".aadl" (any case) is text, anything else AAXL.
Model read_model_file(int verbosity, const std::string& file_name);
// Every input, in the given order, each read by its kind; the names of text
// files may refer to declarations of any input.
Model read_model_files(int verbosity, const std::vector<std::string>& file_names);

// Whether the file name designates a textual AADL file.
bool is_aadl_text_file(const std::string& file_name);
// Whether the element at that position was read from textual AADL: some
// readings follow AADL there where the XML form keeps its documented one.
inline bool read_from_text(const Source_pos& p) { return p.file && is_aadl_text_file(*p.file); }

}  // namespace vorquel
