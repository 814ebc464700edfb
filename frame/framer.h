// Records out of the SMDR byte stream, and the raw log: an exact copy of
// every byte read while logging is on.
#pragma once

// The descriptor records are framed from, and its close at exit.
void setinput(int fd);
void closeinput();
// Frames the next record into rawbuf and reads the host clock into
// real_time_rec; returns the record's length, 0 at the end of the input.
int framerecord();

void rawlog_flush();   // writes out the bytes logged so far
void rawlog_close();   // writes them out and closes the raw log
