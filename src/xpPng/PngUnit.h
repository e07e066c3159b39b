#pragma once
// Start and stop of the PNG unit: registers TPNGImage under "png" with the
// description "PNG Image". Counted like the other units' start and stop.
namespace xpPng {

void InitializePngUnit();
void FinalizePngUnit();

class PngUnit {
public:
    PngUnit() { InitializePngUnit(); }
    ~PngUnit() { FinalizePngUnit(); }
    PngUnit(const PngUnit&) = delete;
    PngUnit& operator=(const PngUnit&) = delete;
};

} // namespace xpPng
