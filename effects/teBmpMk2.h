// Bitmap mask from a file: the bitmap mask effect whose mask is not kept in
// the record but read, when the record names it, from a file the host opens
// through its stream access.
#ifndef QVT_EFFECTS_TEBMPMK2_H
#define QVT_EFFECTS_TEBMPMK2_H

#include "effects/teBmpMsk.h"

namespace qvt {

class TBmpMaskTransition2 : public TBmpMaskTransition {
public:
    explicit TBmpMaskTransition2(TComponent *owner);
    ~TBmpMaskTransition2() override;
    static const rtl::TClassInfo &StaticClassInfo();
    const rtl::TClassInfo &ClassInfo() const override { return StaticClassInfo(); }

    std::string GetEditorName() const override { return "TBmpMaskTransitionEditor2"; }

    // Mask is published again, not stored, with a setter that does nothing:
    // the file is what the record keeps.
    void IgnoreMask(TBitmap *) {}

    const std::string &GetMaskFileName() const { return MaskFileName; }
    // A new name is stored and its file read into the mask at once (an empty
    // name empties the mask); the same name again does nothing. A file the
    // host does not find raises "File '<name>' not found." with the name
    // kept and the mask unchanged; a file that is no readable BMP picture
    // raises the picture's error, likewise.
    void SetMaskFileName(const std::string &value);

    std::string MaskFileName;

private:
    void LoadMaskFile(const std::string &name);
};

} // namespace qvt

#endif
