#pragma once

#include <cstddef>
#include <string>
#include <string_view>

#include <pugixml.hpp>

namespace galvorn {

// An XML document read and written through a cursor, for small documents such as the
// answers of the device search.
//
// The cursor has three parts:
// - the level: the element whose children are being walked (at first the document
//   itself, whose only child is the root element);
// - the main position: one element at that level, or "before the first" (none);
// - the child position: one child of the main element, or "before the first" (none).
// Finding moves forward from the position, never back; resetMainPos()/resetChildPos()
// go back before the first element. A failed find leaves the position where it was.
// Element names match exactly (case-sensitive); an empty name matches any element.
//
// Reading decodes the five predefined entities and numeric character references;
// an unknown entity reference is kept as written. Every text returned is valid UTF-8:
// bytes of the document that are not are replaced as textcodec::sanitizeUtf8() does,
// so a device name in another code page reads as replacement characters instead of
// the document being dropped. No member throws; malformed input makes load() return
// false and leaves an empty document.
class XmlDocument
{
public:
    // Larger texts are refused by load(): the documents read here are a few kilobytes.
    static constexpr std::size_t kMaxDocumentBytes = 4 << 20;

    XmlDocument() = default;
    XmlDocument(const XmlDocument&) = delete;
    XmlDocument& operator=(const XmlDocument&) = delete;

    // Parses the text and puts the cursor at the document level, before the root. False,
    // with an empty document, when the text is not well-formed, has no root element or
    // more than one, or is larger than kMaxDocumentBytes. Text outside the root element
    // is ignored. A byte-order mark or an encoding declaration is honoured where it names
    // UTF-8, UTF-16, UTF-32 or Latin-1; any other declared encoding is read as UTF-8.
    bool load(std::string_view text);

    // Serialises the document, indented, with an XML declaration. Empty when the
    // document has no root element.
    std::string getDoc() const;

    // Navigation at the current level.
    bool findElem(std::string_view name = {});
    void resetMainPos();
    // Makes the main element the level; its current child becomes the main position.
    // False when there is no main position.
    bool intoElem();
    // Makes the level's element the main position again and its parent the level; the
    // element that was main becomes the child position. False at the document level.
    bool outOfElem();
    // Back to the document level, before the root.
    void resetPos();

    // Navigation among the children of the main element. False without a main position.
    bool findChildElem(std::string_view name = {});
    void resetChildPos();

    // Values of the main element and of the child element; empty without one. The data
    // is the concatenated text and CDATA directly inside the element.
    std::string getTagName() const;
    std::string getData() const;
    std::string getAttrib(std::string_view name) const;
    std::string getChildTagName() const;
    std::string getChildData() const;
    std::string getChildAttrib(std::string_view name) const;

    // Building. Names must be ASCII XML names; a bad name gives false and changes
    // nothing. addElem() inserts after the main position (at the end of the level when
    // there is none) and makes the new element main; the document level holds one
    // element only. addChildElem() inserts after the child position (at the end when
    // there is none) and makes the new element the child position.
    bool addElem(std::string_view name, std::string_view data = {});
    bool addChildElem(std::string_view name, std::string_view data = {});
    // Replaces the text of the main element. False without a main element or when it
    // holds elements.
    bool setData(std::string_view data);
    bool setAttrib(std::string_view name, std::string_view value);

    // The text with &, <, >, " and ' written as entities and tab, line feed and carriage
    // return as character references, so that it reads back unchanged both as element
    // text and as an attribute value.
    static std::string escapeText(std::string_view text);

private:
    pugi::xml_document doc_;
    pugi::xml_node level_ = doc_;
    pugi::xml_node main_;
    pugi::xml_node child_;
};

} // namespace galvorn
