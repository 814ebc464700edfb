// The packer's figures for monitoring, written whole to the file of
// --metrics (Prometheus text format) at the start, at every timed status
// line and at the end of the run; never per record.
#pragma once

// Names the file and the program; before the run. Without it nothing is
// written.
void metrics_start(const char* path, const char* program, const char* version);
// Writes the figures as they stand; a failure is said once, not fatal.
void metrics_write();
