// Root of the value classes.
#pragma once

class CObject {
public:
    virtual ~CObject() {}
};
