#include "windowdata.h"

#include "unitdata.h"

namespace forms {

bool DecodeWindowProps(const uint8_t* bytes, size_t n, WindowProps* p) {
    *p = WindowProps();
    if (n == 0) return true;
    units::DataReader r(bytes, n);
    uint32_t version = r.Word();
    if (version < 1 || version > 6) return false;
    p->border = r.Int();
    p->pictureMode = r.Int();
    p->backColour = r.Word();
    p->maxButton = r.Bool();
    p->minButton = r.Bool();
    p->controlBox = r.Bool();
    p->position = r.Int();
    p->closable = r.Bool();
    p->playTimes = r.Int();
    p->enterMovesFocus = r.Bool();
    p->escapeCloses = r.Bool();
    p->f1Help = r.Bool();
    p->helpContext = r.Int();
    if (version >= 2) p->ownOwner = r.Bool();
    if (version >= 3) {
        p->dragAnywhere = r.Bool();
        p->relayout = r.Int();
    }
    if (version >= 4) p->topmost = r.Bool();
    if (version >= 5) p->kept30 = r.Bool();
    if (version >= 6) p->className = r.CountedText();
    p->picture = r.Counted();
    p->icon = r.Counted();
    p->sound = r.Counted();
    p->title = r.CountedText();
    p->helpFile = r.CountedText();
    return r.Ok();
}

std::vector<uint8_t> EncodeWindowProps(const WindowProps& p) {
    units::DataWriter w;
    w.Word(6).Int(p.border).Int(p.pictureMode).Word(p.backColour);
    w.Bool(p.maxButton).Bool(p.minButton).Bool(p.controlBox).Int(p.position).Bool(p.closable);
    w.Int(p.playTimes).Bool(p.enterMovesFocus).Bool(p.escapeCloses).Bool(p.f1Help).Int(p.helpContext);
    w.Bool(p.ownOwner).Bool(p.dragAnywhere).Int(p.relayout).Bool(p.topmost).Bool(p.kept30).Counted(p.className);
    w.Counted(p.picture).Counted(p.icon).Counted(p.sound).Counted(p.title).Counted(p.helpFile);
    return w.Take();
}

} // namespace forms
