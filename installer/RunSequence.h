// The entry procedure: process set-up, the guarded run, the top-level handlers and the exit code.
#pragma once

// Steps 0 to 23 of a run; returns the process exit code.
int RunInstaller();

// Runs `region` under the top-level handlers and returns the exit code they chose (0 when the
// region returns), printing the usage text for 200 and 201.
int RunGuarded(void (*region)());

// Structured-exception translation and the allocation-failure handler.
void SetUpProcess();
