// The interface through which the update run reaches a target's boot-mode protocol.
#pragma once

class SRECReader;

class UpdateModule {
public:
    virtual bool OpenCom(const char* portName) = 0;
    virtual bool EraseSquence() = 0;
    virtual bool ProgrammingSequence(SRECReader* reader) = 0;
    virtual bool Reboot() = 0;

protected:
    // Not virtual: the owner deletes the object as its concrete module.
    ~UpdateModule() = default;
};
