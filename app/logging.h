#pragma once

namespace galvorn {

// glog for diagnostics: program name "Opertation", files in the folder the operation
// logs go to (facelib/operationlog.h: beside a program in its build tree, else the
// user's data folder; created when missing), also to standard error; only to standard
// error when no folder can be written. Safe to call again after shutDownLogging().
void setUpLogging();
void shutDownLogging();

} // namespace galvorn
