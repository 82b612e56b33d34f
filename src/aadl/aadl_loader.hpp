// The AAXL reader: one .aaxl file to the packages of the AADL model.
//
// The file is parsed as XML, "comment" elements are dropped at every depth,
// the rest is checked against the accepted AAXL structure and then mapped to
// the model. Fatal user errors:
//   - an unreadable file, with the system's description;
//   - an XML syntax error: "*** XML parsing error if file ..." (standard
//     output, no abort line);
//   - a document outside the accepted structure: the invalid-document
//     explanation (standard output), or at verbosity 2 or more the precise
//     cause on standard error (no abort line);
//   - a connection timing other than Immediate or Delayed;
//   - a property value that cannot be read (a number that is not one).
// Each also carries its place in the file (line and column), which the
// driver writes on standard error at any verbosity. Every element of the
// model records where it was read (Source_pos).
#pragma once

#include <string>

#include "aadl/aadl_ast.hpp"

namespace vorquel {

// Reads, checks and maps one file. Within a file: the implicit package of
// loose declarations first (if any), then the packages in reverse document
// order.
Model parse_aadl(int verbosity, const std::string& file_name);
// Same, from text already in memory (file_name names the implicit package
// and appears in messages). The text is parsed in place.
Model parse_aadl_text(int verbosity, const std::string& file_name, std::string text);

// The whole content of a file (at most 1 GiB); Failure "*** Cannot read
// <file>: <reason>\n" otherwise. Never blocks on a named pipe's opening.
std::string read_whole_file(const std::string& file_name);

}  // namespace vorquel
