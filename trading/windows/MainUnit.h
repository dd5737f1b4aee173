#pragma once
// The trading client's main window: quote panel and order entry, the lists of orders, trades,
// positions, funds and contracts, the service's web pages, the clock and the quote poll, and
// the quick codes of "Client.ini" [CodeSet].

#include <array>
#include <functional>
#include <string>

#include "framework/Buttons.h"
#include "framework/ComCtrls.h"
#include "framework/ExtCtrls.h"
#include "framework/Forms.h"
#include "framework/StdCtrls.h"
#include "trading/connection/ClientModules.h"
#include "trading/connection/myFun.h"
#include "trading/windows/OrderCheck.h"
#include "trading/windows/QuickCodes.h"
#include "trading/windows/WebPane.h"
#include "ui/components/xpmenu/XPMenu.h"
#include "ui/components/MyListView.h"

// The pages of PageControl1 in tab order; F3 ... F10 open the first eight.
enum TMainPage : int {
    mpOrder,           // F3
    mpOrders,          // F4
    mpTrades,          // F5
    mpPositions,       // F6
    mpFunds,           // F7
    mpHistoryOrders,   // F8
    mpHistoryTrades,   // F9
    mpOptions,         // F10
    mpContracts,
    mpNotices,         // F1
};

class TMainForm : public TForm, public IClientTask {
    VIDUDO_CLASS(TMainForm, TForm)
public:
    explicit TMainForm(TComponent* owner);
    ~TMainForm() override;

    // Status strip.
    TPanel* pnlBackGround;
    TPanel* pnlHint;
    TPanel* pnlInformation;
    TPanel* pnlClock;

    TPageControl* PageControl1;
    TTabSheet* TabSheet1;  // F3 order page
    TTabSheet* TabSheet2;  // F4 orders and cancel
    TTabSheet* TabSheet3;  // F5 trades
    TTabSheet* TabSheet4;  // F6 positions
    TTabSheet* TabSheet5;  // F7 funds
    TTabSheet* TabSheet6;  // F8 history of orders
    TTabSheet* TabSheet7;  // F9 history of trades
    TTabSheet* TabSheet8;  // F10 options
    TTabSheet* TabSheet14;  // contracts
    TTabSheet* TabSheet9;  // F1 announcements

    // Order page.
    TLabel* hydmCaption;
    TLabel* Label1;  // "最新价"
    TLabel* zxjgCaption;
    TLabel* SPCaption;
    TLabel* SCCaption;
    TLabel* BPCaption;
    TLabel* BCCaption;
    TLabel* UPCaption;
    TLabel* HPCaption;
    TLabel* DPCaption;
    TLabel* LPCaption;
    TEdit* fhydm;
    TComboBox* fhydmlist;
    TCheckBox* QKEnabled;
    TComboBox* fmmfx;
    TComboBox* fwtfx;
    TEdit* fwtjg;
    TEdit* fwtsl;
    TCheckBox* LianDong;
    TCheckBox* SJWTCheck;
    TButton* OkButton;
    TButton* cancelbutton;
    TButton* GetQuota;
    TLabel* bdCaption;
    TLabel* sdCaption;
    TLabel* tbCaption;
    TLabel* tsCaption;
    TLabel* csCaption;
    TLabel* ecCaption;
    TLabel* jjmccaption;
    TLabel* tzlncaption;
    TPageControl* PageControl2;
    TTabSheet* TabSheet10;
    TTabSheet* TabSheet11;
    TMyListView* fwtlb2;
    TListView* fcclb2;
    TMyListView* fwtlb3;
    TButton* Button1;

    TMyListView* fwtlb;
    TMyListView* fcjlb;
    TMyListView* fcclb;
    TMyListView* hylb;

    // Funds page.
    TLabel* khqyCaption;
    TLabel* kyzjCaption;
    TLabel* kczjCaption;
    TLabel* qcjeCaption;
    TLabel* lybzjCaption;
    TLabel* drydjCaption;
    TLabel* dspcykCaption;
    TLabel* DsfdykCaption;
    TLabel* sxfCaption;
    TLabel* fxlCaption;
    TBitBtn* BitBtn3;

    TWebPane* gg;
    TWebPane* lswt;
    TWebPane* lscj;

    // Options page.
    TBitBtn* BitBtn1;
    TPageControl* PageControl3;
    TTabSheet* TabSheet12;
    TTabSheet* TabSheet13;
    std::array<TEdit*, kQuickCount> Q1;  // Q100 .. Q109
    std::array<TEdit*, kQuickCount> Q2;  // Q200 .. Q209
    TBitBtn* BitBtn6;
    TBitBtn* BitBtn8;
    TButton* Q1ReadButton;
    TButton* Q2ReadButton;

    // Hidden panels that no operation shows.
    TPanel* zlhyPanel;
    TPageControl* zlhyPage;
    TListBox* shzlhyList;
    TListBox* dlzlhyList;
    TListBox* zzzlhylist;
    TListBox* zjzlhylist;
    TPanel* TabControl1;

    TTimer* Timer1;
    TTimer* Timer2;
    TFun* Myfun;
    TXPMenu* XPMenu1;

    void FormCreate(TObject* sender);
    void FormShow(TObject* sender);
    void FormShortCut(WORD key, TShiftState shift, bool& handled);
    void FormClose(TObject* sender, TCloseAction& action);
    void Timer1Timer(TObject* sender);
    void Timer2Timer(TObject* sender);
    void TabSheet1Enter(TObject* sender);
    void TabSheet1Exit(TObject* sender);
    void TabSheet2Show(TObject* sender);
    void TabSheet3Show(TObject* sender);
    void TabSheet4Show(TObject* sender);
    void TabSheet5Show(TObject* sender);
    void TabSheet9Show(TObject* sender);
    void TabSheet14Show(TObject* sender);
    void BitBtn1Click(TObject* sender);
    void BitBtn6Click(TObject* sender);
    void BitBtn8Click(TObject* sender);
    void Q1ReadButtonClick(TObject* sender);
    void Q2ReadButtonClick(TObject* sender);
    void QKEnabledClick(TObject* sender);
    void GetQuotaClick(TObject* sender);
    void Label1Click(TObject* sender);

    // Order entry.
    void fhydmKeyDown(TObject* sender, WORD& key, TShiftState shift);
    void fmmfxKeyDown(TObject* sender, WORD& key, TShiftState shift);
    void fwtfxKeyDown(TObject* sender, WORD& key, TShiftState shift);
    void fwtjgKeyDown(TObject* sender, WORD& key, TShiftState shift);
    void fwtslKeyDown(TObject* sender, WORD& key, TShiftState shift);
    void fhydmEnter(TObject* sender);
    void fhydmChange(TObject* sender);
    void fhydmlistChange(TObject* sender);
    void fhydmExit(TObject* sender);
    void fhydmlistExit(TObject* sender);
    void SJWTCheckClick(TObject* sender);
    void QuotePriceDblClick(TLabel* price, int direction);
    void fwtslExit(TObject* sender);
    // The price check; true when it passed.
    bool fwtjgExit(TObject* sender);
    void OkButtonClick(TObject* sender);
    void cancelbuttonClick(TObject* sender);
    void fcclb2Click(TObject* sender);
    void fcclb2DblClick(TObject* sender);
    void fcclbDblClick(TObject* sender);
    void CancelOrderDblClick(TListView* list, int statusColumn);

    // Refresh of the order and position lists.
    void RefreshOrders();
    void RefreshPositions();

    void Task(int code) override;
    void OpenWelcomePage(const std::string& url) override;

protected:
    // Shows the login window modally; its result decides whether the session starts.
    virtual TModalResult RunLogin();

private:
    void BuildStatusStrip();
    void BuildOrderPage();
    void BuildListPages();
    void BuildFundsPage();
    void BuildOptionsPage();
    void BuildHiddenPanels();
    void BindHandlers();
    void LoadWebPanes();
    // "http://" + host + ":" + port of the site chosen at login; false when there is none.
    bool Site(std::string& site) const;
    bool QuoteHeld() const;
    void FocusField(TOrderField field);
    void ShowCheck(const TCheckResult& check);
    void ShowQuote();
    void ShowFunds();
    void AddOrderLine();
    void AddPositionLine();
    void ClosePosition(const std::string& contract, const std::string& buySell, const std::string& available);
    // The quote labels are written with "."; a price the program copied from them into the
    // price field is read back the same way, whatever the user's decimal separator.
    void SetProgramPrice(const std::string& text);
    char PriceSeparator() const;

    bool configured_ = false;  // the configuration was read
    bool loadingPanes_ = false;
    std::string programPrice_;  // the price field's text as the program last set it
    TQuickCodeEdit quickCodeEdit_;
};

extern TMainForm* MainForm;
// Set when the login window returned OK; nothing is sent before.
extern bool LoggedIn;
extern TQuickSet QuickContracts;
extern TQuickSet QuickCodes;
