// Receives the filled buffers of a capture device, on the device's buffer thread.
#pragma once

class CSoundListener {
public:
    virtual ~CSoundListener() {}
    // A result of exactly 1 asks the device to stop.
    virtual unsigned OnSoundData(const void* data, unsigned length) { (void)data; (void)length; return 0; }
    virtual unsigned OnSoundData2(const void* data, unsigned length) { (void)data; return length; }
    virtual void OnSoundIdle() {}
    // The device stopped delivering for good (unplugged); called once, on the
    // buffer thread, which ends right after.
    virtual void OnDeviceLost() {}
    // The stream broke off for this long (a suspend, a stall of the audio
    // engine): the frames before it have been handed over, the next buffer
    // is the first after it. On the buffer thread, like OnSoundData.
    virtual void OnSoundGap(long long ticks) { (void)ticks; }
    // The device goes on from another endpoint (the default output changed)
    // in the same timeline; on the buffer thread.
    virtual void OnSourceChanged(const wchar_t* name) { (void)name; }
};
