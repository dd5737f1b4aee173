#pragma once
// Option sets of the browser component: members in declaration order, each standing for a
// flag value of the browser; the flags reported are the sum of the members present.

#include <cstdint>
#include <initializer_list>

template <class E>
class TSet {
public:
    TSet() = default;
    TSet(std::initializer_list<E> members)
    {
        for (E m : members)
            Include(m);
    }
    void Include(E m) { bits_ |= Bit(m); }
    void Exclude(E m) { bits_ &= ~Bit(m); }
    bool Contains(E m) const { return (bits_ & Bit(m)) != 0; }
    bool Empty() const { return bits_ == 0; }
    bool operator==(const TSet&) const = default;

private:
    static uint64_t Bit(E m) { return uint64_t(1) << static_cast<int>(m); }
    uint64_t bits_ = 0;
};

enum class TUserInterfaceOption {
    DisableTextSelect, DisableHelpMenu, DontUse3DBorders, DontUseScrollBars, PostponeScriptUntilActive,
    ForceOpenNewWindow, Reserved_OFFSCREEN, ForceFlatScrollBars, InsertDivTagOnEditMode, ActivateUIOnlyOnDocClick,
    ConsultBeforeRetrievingBehavior, CheckFontSupportsCodePage, DisableSubmitUrlInUTF8, EnableSubmitUrlInUTF8,
    EnablesFormsAutoComplete, ForceSameWindowNavigation, EmableImeLocalLanguages, EnableThemes, DisableThemes,
    DisablePicsRatings, DisableFrameSetBorder, DisablesAutoNameSpaceCorrection, DisableLocalFileAccess,
    DisableUntrustedProtocol, CheckNavigationDelegatedToHost, EnableRedirectNotification, EnableDomWindlessControls,
    EnableWindowedControls, ForceUserActivationOnActiveXJava,
};
using TUserInterfaceOptions = TSet<TUserInterfaceOption>;

enum class TDownloadControlOption {
    DownloadImages, DownloadVideos, DownloadBGSounds, DontExecuteScripts, DontExecuteJava, DontExecuteActiveX,
    DontDownloadActiveX, DownloadButDontDisplay, DontDownloadFrame, CheckPageResynchronize, DownloadAndIgnoreCache,
    DontDownloadBehaviors, SuppressedMetaCharset, DisableUrlIfEncodingUTF8, EnableUrlIfEncodingUTF8, ForceOfflineMode,
    DontPerformClientPull, DownloadInSilentMode, WorkOffline,
};
using TDownloadControlOptions = TSet<TDownloadControlOption>;

enum class TIEPopupMenu {
    rcmDefault, rcmImage, rcmControl, rcmTable, rcmSelText, rcmAnchor, rcmUnKnown, rcmImageArt, rcmImgDynSrc,
    rcmDebug, rcmAll,
};
using TIEPopupMenus = TSet<TIEPopupMenu>;

uint32_t UserInterfaceFlags(const TUserInterfaceOptions& options);
uint32_t DownloadControlFlags(const TDownloadControlOptions& options);
