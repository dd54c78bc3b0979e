#pragma once

namespace galvorn {

// glog for diagnostics: program name "Opertation", files below ./log (created when
// missing), also to standard error. Nothing in the program logs through it yet; it is
// set up for the libraries and for debugging in the field. Safe to call again after
// shutDownLogging().
void setUpLogging();
void shutDownLogging();

} // namespace galvorn
