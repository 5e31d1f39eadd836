// `dumpsys window` as a phone prints it: hundreds of KB of sections and
// window records, with the focus lines where the device's Android version
// puts them (one pair in the windows section up to Android 9; from Android 10
// one pair per display plus the top focused display).
#include <cstdio>
#include "sim.h"

namespace sim {

namespace {

std::string Hex(const std::string& seed, unsigned salt) {
    unsigned h = 2166136261u ^ salt;
    for (unsigned char c : seed) h = (h ^ c) * 16777619u;
    char buf[16];
    std::snprintf(buf, sizeof buf, "%x", h & 0xFFFFFFF);
    return buf;
}

std::string Window(const Focus* f) {
    if (!f || f->title == "none") return "null";
    return "Window{" + Hex(f->title, 1) + " u" + std::to_string(f->user) + " " + f->title + "}";
}

std::string FocusedApp(const Focus* f, int api) {
    if (!f || f->title == "none" || f->title.find('/') == std::string::npos) return "null";
    std::string title = f->title.substr(0, f->title.find(' '));
    std::string record = "ActivityRecord{" + Hex(title, 2) + " u" + std::to_string(f->user) + " " + title + " t" +
                         std::to_string(20 + f->display) + "}";
    if (api >= 29) return record;
    return "AppWindowToken{" + Hex(title, 3) + " token=Token{" + Hex(title, 4) + " " + record + "}}";
}

const Focus* FocusOf(const Device& d, int display) {
    const Focus* found = nullptr;
    for (const Focus& f : d.focus)
        if (f.display == display) found = &f;
    return found;
}

// The answer of the older single-device state files, kept as it was.
std::string ShortAnswer(const Device& d) {
    const Focus* f = FocusOf(d, 0);
    std::string title = f ? f->title : "none";
    std::string focus = title == "none" ? "null" : "Window{1f2e3d4 u0 " + title + "}";
    return "WINDOW MANAGER POLICY STATE (dumpsys window policy)\n"
           "    mSafeMode=false mSystemReady=true mSystemBooted=true\n"
           "    mLastFocusNeedsMenu=false\n"
           "WINDOW MANAGER DISPLAY CONTENTS (dumpsys window displays)\n"
           "  Display: mDisplayId=0\n"
           "    init=1080x1920 420dpi cur=1080x1920 app=1080x1794 rng=1080x1017-1794x1731\n"
           "  mCurrentFocus=" + focus + "\n"
           "  mFocusedApp=AppWindowToken{5a6b7c8 token=Token{9d0e1f2 ActivityRecord{3a4b5c6 u0 " + title +
           " t12}}}\n"
           "  mInputMethodTarget=null\n"
           "  mHoldScreenWindow=null\n"
           "  mObscuringWindow=Window{7e8f9a0 u0 StatusBar}\n";
}

const char* const kSystemWindows[] = {
    "NavigationBar0", "StatusBar", "NotificationShade", "InputMethod", "ShellDropTarget", "PointerLocation",
    "ScreenDecorOverlay", "ScreenDecorOverlayBottom", "AssistPreviewPanel", "DockedStackDivider",
    "com.android.systemui.ImageWallpaper", "Splash Screen com.android.settings",
    "com.android.launcher3/com.android.launcher3.uioverrides.QuickstepLauncher",
    "PopupWindow:8c1f2e4", "Toast", "com.android.systemui/com.android.systemui.recents.RecentsActivity",
};

void AppendWindowRecord(std::string& out, int n, const std::string& title, int api) {
    std::string h = Hex(title, static_cast<unsigned>(n) + 7);
    out += "  Window #" + std::to_string(n) + " Window{" + h + " u0 " + title + "}:\n";
    out += "    mDisplayId=0 " + std::string(api >= 29 ? "rootTaskId=1" : "stackId=0") + " mSession=Session{" +
           Hex(title, 11) + " 1634:u0a10" + std::to_string(100 + n % 80) + "} mClient=android.os.BinderProxy@" +
           Hex(title, 12) + "\n";
    out += "    mOwnerUid=10" + std::to_string(100 + n % 80) + " showForAllUsers=true package=com.android.systemui "
           "appop=NONE\n";
    out += "    mAttrs={(0,0)(fillxfill) sim={adjust=pan} ty=APPLICATION_OVERLAY fmt=TRANSLUCENT\n"
           "      fl=NOT_FOCUSABLE NOT_TOUCH_MODAL LAYOUT_IN_SCREEN SPLIT_TOUCH HARDWARE_ACCELERATED\n"
           "      pfl=SHOW_FOR_ALL_USERS USE_BLAST FIT_INSETS_CONTROLLED\n"
           "      bhv=DEFAULT\n"
           "      fitTypes=STATUS_BARS NAVIGATION_BARS CAPTION_BAR}\n";
    out += "    Requested w=1080 h=2400 mLayoutSeq=" + std::to_string(3000 + n) + "\n";
    out += "    mBaseLayer=" + std::to_string(21000 + n * 1000) + " mSubLayer=0    mToken=WindowToken{" +
           Hex(title, 13) + " type=2038 android.os.BinderProxy@" + Hex(title, 14) + "}\n";
    out += "    mViewVisibility=0x8 mHaveFrame=true mObscured=false\n"
           "    mGivenContentInsets=[0,0][0,0] mGivenVisibleInsets=[0,0][0,0]\n"
           "    mFullConfiguration={1.0 ?mcc?mnc [zh_CN_#Hans] ldltr sw411dp w411dp h914dp 420dpi nrml long hdr "
           "widecg port night finger -keyb/v/h -nav/h winConfig={ mBounds=Rect(0, 0 - 1080, 2400) "
           "mAppBounds=Rect(0, 0 - 1080, 2400) mMaxBounds=Rect(0, 0 - 1080, 2400) mDisplayRotation=ROTATION_0 "
           "mWindowingMode=fullscreen mDisplayWindowingMode=fullscreen mActivityType=undefined "
           "mAlwaysOnTop=undefined mRotation=ROTATION_0} s.6 fontWeightAdjustment=0}\n"
           "    mLastReportedConfiguration={1.0 ?mcc?mnc [zh_CN_#Hans] ldltr sw411dp w411dp h914dp 420dpi nrml "
           "long hdr widecg port night finger -keyb/v/h -nav/h s.6 fontWeightAdjustment=0}\n"
           "    mHasSurface=false isReadyForDisplay()=false mWindowRemovalAllowed=false\n"
           "    Frames: parent=[0,0][1080,2400] display=[0,0][1080,2400] frame=[0,0][1080,2400] last=[0,0][1080,2400]"
           " insetsChanged=false\n"
           "     surface=[0,0][0,0]\n"
           "    WindowStateAnimator{" + Hex(title, 15) + " " + title + "}:\n"
           "      mDrawState=NO_SURFACE       mLastHidden=true\n"
           "      mEnterAnimationPending=false      mSystemDecorRect=[0,0][0,0]\n"
           "    mForceSeamlesslyRotate=false seamlesslyRotate: pending=null finishedFrameNumber=0\n"
           "    isOnScreen=false\n"
           "    isVisible=false\n";
}

void AppendDisplay(std::string& out, const Device& d, int display) {
    out += "  Display: mDisplayId=" + std::to_string(display) + (d.api >= 29 ? " rootTasks=3" : "") + "\n";
    out += display == 0 ? "    init=1080x2400 420dpi cur=1080x2400 app=1080x2274 rng=1080x1017-2274x2211\n"
                        : "    init=1920x1080 240dpi cur=1920x1080 app=1920x1080 rng=1080x1017-1920x1920\n";
    out += "    deferred=false mLayoutNeeded=false mTouchExcludeRegion=SkRegion((0,0,1080,2400))\n"
           "    mLastOrientationSource=WindowedMagnification:0:31@" + Hex(d.serial, 20) + "\n"
           "    mDisplayFrames w=1080 h=2400 r=0\n";
    if (d.api >= 29) {
        const Focus* f = FocusOf(d, display);
        out += "  mCurrentFocus=" + Window(f) + "\n";
        out += "  mFocusedApp=" + FocusedApp(f, d.api) + "\n";
    }
    out += "\n";
}

} // namespace

int Dumpsys(const Device& d, const std::vector<std::string>& args, Io& io) {
    if (args.empty() || args[0] != "window") {
        io.err += "Can't find service: " + (args.empty() ? std::string() : args[0]) + "\n";
        return 0;
    }
    if (d.dumpsysKb <= 0) {
        io.out += ShortAnswer(d);
        return 0;
    }
    std::string& out = io.out;
    out += "WINDOW MANAGER LAST ANR (dumpsys window lastanr)\n  <no ANR has occurred since boot>\n\n";
    out += "WINDOW MANAGER POLICY STATE (dumpsys window policy)\n"
           "    mSafeMode=false mSystemReady=true mSystemBooted=true\n"
           "    mCameraLensCoverState=LENS_COVER_ABSENT\n"
           "    mWakeGestureEnabledSetting=true\n"
           "    mLastFocusNeedsMenu=false\n\n";
    out += "WINDOW MANAGER DISPLAY CONTENTS (dumpsys window displays)\n";
    for (int display = 0; display < d.displays; display++) AppendDisplay(out, d, display);
    out += "WINDOW MANAGER WINDOWS (dumpsys window windows)\n";
    size_t target = static_cast<size_t>(d.dumpsysKb) * 1024;
    size_t count = sizeof kSystemWindows / sizeof kSystemWindows[0];
    for (int n = 0; out.size() < target; n++) AppendWindowRecord(out, n, kSystemWindows[n % count], d.api);
    out += "\n  mGlobalConfiguration={1.0 ?mcc?mnc [zh_CN_#Hans] ldltr sw411dp w411dp h914dp 420dpi nrml long port}\n"
           "  mHasPermanentDpad=false\n";
    if (d.api >= 29) {
        int top = d.focus.empty() ? 0 : d.focus.back().display;
        out += "  mTopFocusedDisplayId=" + std::to_string(top) + "\n";
    } else {
        const Focus* f = FocusOf(d, 0);
        out += "  mCurrentFocus=" + Window(f) + "\n";
        out += "  mFocusedApp=" + FocusedApp(f, d.api) + "\n";
    }
    out += "  mInTouchMode=true\n"
           "  mHoldScreenWindow=null\n"
           "  mObscuringWindow=null\n"
           "  mLastWakeLockHoldingWindow=null mLastWakeLockObscuringWindow=null\n"
           "  mDisplayFrozen=false windows=0 client=false apps=0  mRotation=0  mLastOrientation=1\n";
    return 0;
}

} // namespace sim
