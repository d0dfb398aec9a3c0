// How a step that refuses to go on ends the run.
#pragma once

// Prints "Aborting..." and an empty line, then ends the run with `exitCode`.
[[noreturn]] void Abort(int exitCode);
