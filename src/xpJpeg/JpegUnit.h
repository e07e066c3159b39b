#pragma once
// Start and stop of the JPEG unit: registers TJPEGImage under "jpeg" and
// "jpg" with the description "JPEG Image File". The program's main makes the
// JpegUnit guard first of all units, so it is unregistered last. Counted like
// the other units' start and stop.
namespace xpJpeg {

void InitializeJpegUnit();
void FinalizeJpegUnit();

class JpegUnit {
public:
    JpegUnit() { InitializeJpegUnit(); }
    ~JpegUnit() { FinalizeJpegUnit(); }
    JpegUnit(const JpegUnit&) = delete;
    JpegUnit& operator=(const JpegUnit&) = delete;
};

} // namespace xpJpeg
