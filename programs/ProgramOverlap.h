// Whether two programs would record at the same moment at any of their
// occurrences: a one-shot program once, a weekly one on each marked day
// from its start on (its first start counts whatever its day).
#pragma once

class ProgramItem;

bool ProgramsOverlap(const ProgramItem& a, const ProgramItem& b);
// True when some occurrence of inner lies wholly inside one of outer's:
// the scheduler never records it.
bool ProgramInside(const ProgramItem& inner, const ProgramItem& outer);
