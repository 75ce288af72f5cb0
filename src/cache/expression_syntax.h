// Rewrites a user expression into the syntax of the regular-expression engine.
//
// Users write Perl-style expressions whose \d, \w and \s are Unicode-aware and
// whose named groups may be spelled (?<name>...). The engine reads \d, \w and
// \s as ASCII classes and knows only (?P<name>...), so those constructs are
// rewritten; everything else passes through byte for byte, and whatever the
// engine cannot handle still fails to compile afterwards.
#pragma once

#include <string>
#include <string_view>

namespace plyfold {

// Unicode forms used for the shorthand classes:
//   \d  decimal numbers (Nd)
//   \w  letters, marks, decimal numbers and connector punctuation
//   \s  the White_Space characters
// with \D, \W and \S their complements, inside and outside bracket classes.
std::string to_engine_syntax(std::string_view expression);

}  // namespace plyfold
