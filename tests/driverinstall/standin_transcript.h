/* The transcript the stand-ins of the driver tools and of the driver-package library keep: one
 * line per call, appended to the file that $TARNWICK_TRANSCRIPT names. */
#ifndef TARNWICK_STANDIN_TRANSCRIPT_H
#define TARNWICK_STANDIN_TRANSCRIPT_H

/* Appends `line` and a line end; does nothing when $TARNWICK_TRANSCRIPT is not set. */
void standin_record(const char* line);

#endif
