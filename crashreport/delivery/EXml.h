#pragma once
// The XML form of a log of reports, made from the stored report texts. Every element carries its
// data in attributes; values are escaped byte by byte, so GBK text survives as character
// references of its bytes.

#include <memory>
#include <string>
#include <string_view>
#include <vector>

class TLogFile;
class TXMLItem;

class TXMLItems {
public:
    TXMLItems() = default;
    TXMLItems(const TXMLItems&) = delete;
    TXMLItems& operator=(const TXMLItems&) = delete;
    ~TXMLItems();

    TXMLItem* Add(std::string_view name, TXMLItem* parent = nullptr);
    TXMLItem* Item(int index) const { return items_.at(static_cast<size_t>(index)).get(); }
    int Count() const { return static_cast<int>(items_.size()); }

private:
    std::vector<std::unique_ptr<TXMLItem>> items_;
};

class TXMLItem {
public:
    explicit TXMLItem(std::string_view name) : name_(name) {}

    void AddAttribute(std::string_view name, std::string_view value);
    TXMLItem* AddChild(std::string_view name) { return children_.Add(name, this); }
    TXMLItem* Parent() const { return parent_; }
    const std::string& Name() const { return name_; }
    const TXMLItems& Children() const { return children_; }

    std::string GetText() const { return Write(""); }

private:
    friend class TXMLItems;
    std::string Write(const std::string& indent) const;

    std::string name_;
    std::string attributes_;
    TXMLItems children_;
    TXMLItem* parent_ = nullptr;
};

// &#NNN; for quotes, ampersand, angle brackets, tab, CR, LF and bytes 0x7F-0xFF; "?" for the
// control bytes XML can't hold at all.
std::string XmlEscape(std::string_view value);

std::string ReportToXml(const TLogFile& log, int index);
std::string LogToXml(const TLogFile& log);
