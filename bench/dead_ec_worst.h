// The longest runs against an EC that stops answering, per job.
#pragma once

// Runs every job on a four-block part against every EC fault (no EC, IBF
// stuck from the start, OBF never set, an EC that dies after N of its port
// writes for N spread over a clean run) and prints the worst run of each job
// with its port accesses and the time they take at 1 us each. Returns false
// when a run exceeds the 60-million bound.
bool PrintDeadEcWorstCases();
