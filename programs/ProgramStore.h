// What keeps the program list on disk: the list saves itself through it
// after a retirement. The configuration object, which owns the list and
// writes it with the settings, is the one implementation.
#pragma once

class CProgramStore {
public:
    virtual ~CProgramStore() {}
    // Writes the whole configuration; 0 when it could not be written.
    virtual int Save() = 0;
};
