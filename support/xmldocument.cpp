#include "support/xmldocument.h"

#include "support/textcodec.h"

namespace galvorn {

namespace {

bool isElementNamed(pugi::xml_node node, std::string_view name)
{
    return node.type() == pugi::node_element && (name.empty() || name == node.name());
}

// The first element named name among node and its following siblings.
pugi::xml_node findFrom(pugi::xml_node node, std::string_view name)
{
    while (node && !isElementNamed(node, name))
        node = node.next_sibling();
    return node;
}

bool isText(pugi::xml_node node)
{
    return node.type() == pugi::node_pcdata || node.type() == pugi::node_cdata;
}

// The parser passes bytes through without checking them as UTF-8.
std::string validText(const char* text)
{
    return textcodec::sanitizeUtf8(text);
}

std::string textOf(pugi::xml_node element)
{
    std::string text;
    for (pugi::xml_node node = element.first_child(); node; node = node.next_sibling()) {
        if (isText(node))
            text += node.value();
    }
    return textcodec::sanitizeUtf8(text);
}

std::string attributeOf(pugi::xml_node element, std::string_view name)
{
    return validText(element.attribute(std::string(name).c_str()).value());
}

bool isNameStart(char c)
{
    return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || c == '_' || c == ':';
}

bool isNameChar(char c)
{
    return isNameStart(c) || (c >= '0' && c <= '9') || c == '-' || c == '.';
}

bool isXmlName(std::string_view name)
{
    if (name.empty() || !isNameStart(name.front()))
        return false;
    for (const char c : name) {
        if (!isNameChar(c))
            return false;
    }
    return true;
}

bool hasSingleRoot(const pugi::xml_document& doc)
{
    int elements = 0;
    for (pugi::xml_node node = doc.first_child(); node; node = node.next_sibling()) {
        if (node.type() == pugi::node_element)
            ++elements;
    }
    return elements == 1;
}

pugi::xml_node newElement(pugi::xml_node parent, pugi::xml_node after, std::string_view name,
                          std::string_view data)
{
    pugi::xml_node element = after ? parent.insert_child_after(pugi::node_element, after)
                                   : parent.append_child(pugi::node_element);
    element.set_name(std::string(name).c_str());
    if (!data.empty())
        element.append_child(pugi::node_pcdata).set_value(data.data(), data.size());
    return element;
}

class StringWriter : public pugi::xml_writer
{
public:
    void write(const void* data, size_t size) override
    {
        text.append(static_cast<const char*>(data), size);
    }
    std::string text;
};

} // namespace

bool XmlDocument::load(std::string_view text)
{
    doc_.reset();
    resetPos();
    if (text.size() > kMaxDocumentBytes)
        return false;
    const pugi::xml_parse_result result =
        doc_.load_buffer(text.data(), text.size(), pugi::parse_default, pugi::encoding_auto);
    if (!result || !hasSingleRoot(doc_)) {
        doc_.reset();
        return false;
    }
    return true;
}

std::string XmlDocument::getDoc() const
{
    if (!doc_.document_element())
        return {};
    StringWriter writer;
    doc_.save(writer, "  ", pugi::format_default, pugi::encoding_utf8);
    return writer.text;
}

bool XmlDocument::findElem(std::string_view name)
{
    const pugi::xml_node found =
        findFrom(main_ ? main_.next_sibling() : level_.first_child(), name);
    if (!found)
        return false;
    main_ = found;
    child_ = {};
    return true;
}

void XmlDocument::resetMainPos()
{
    main_ = {};
    child_ = {};
}

bool XmlDocument::intoElem()
{
    if (!main_)
        return false;
    level_ = main_;
    main_ = child_;
    child_ = {};
    return true;
}

bool XmlDocument::outOfElem()
{
    if (level_.type() == pugi::node_document)
        return false;
    child_ = main_;
    main_ = level_;
    level_ = level_.parent();
    return true;
}

void XmlDocument::resetPos()
{
    level_ = doc_;
    resetMainPos();
}

bool XmlDocument::findChildElem(std::string_view name)
{
    if (!main_)
        return false;
    const pugi::xml_node found =
        findFrom(child_ ? child_.next_sibling() : main_.first_child(), name);
    if (!found)
        return false;
    child_ = found;
    return true;
}

void XmlDocument::resetChildPos()
{
    child_ = {};
}

std::string XmlDocument::getTagName() const
{
    return validText(main_.name());
}

std::string XmlDocument::getData() const
{
    return textOf(main_);
}

std::string XmlDocument::getAttrib(std::string_view name) const
{
    return attributeOf(main_, name);
}

std::string XmlDocument::getChildTagName() const
{
    return validText(child_.name());
}

std::string XmlDocument::getChildData() const
{
    return textOf(child_);
}

std::string XmlDocument::getChildAttrib(std::string_view name) const
{
    return attributeOf(child_, name);
}

bool XmlDocument::addElem(std::string_view name, std::string_view data)
{
    if (!isXmlName(name))
        return false;
    if (level_.type() == pugi::node_document && doc_.document_element())
        return false;
    main_ = newElement(level_, main_, name, data);
    child_ = {};
    return true;
}

bool XmlDocument::addChildElem(std::string_view name, std::string_view data)
{
    if (!main_ || !isXmlName(name))
        return false;
    child_ = newElement(main_, child_, name, data);
    return true;
}

bool XmlDocument::setData(std::string_view data)
{
    if (!main_ || main_.find_child([](pugi::xml_node n) { return n.type() == pugi::node_element; }))
        return false;
    while (const pugi::xml_node text = main_.find_child(isText))
        main_.remove_child(text);
    if (!data.empty())
        main_.append_child(pugi::node_pcdata).set_value(data.data(), data.size());
    return true;
}

bool XmlDocument::setAttrib(std::string_view name, std::string_view value)
{
    if (!main_ || !isXmlName(name))
        return false;
    const std::string key(name);
    pugi::xml_attribute attribute = main_.attribute(key.c_str());
    if (!attribute)
        attribute = main_.append_attribute(key.c_str());
    return attribute.set_value(value.data(), value.size());
}

std::string XmlDocument::escapeText(std::string_view text)
{
    std::string out;
    out.reserve(text.size() + text.size() / 8);
    for (const char c : text) {
        switch (c) {
        case '&':
            out += "&amp;";
            break;
        case '<':
            out += "&lt;";
            break;
        case '>':
            out += "&gt;";
            break;
        case '"':
            out += "&quot;";
            break;
        case '\'':
            out += "&apos;";
            break;
        case '\t':
            out += "&#9;";
            break;
        case '\n':
            out += "&#10;";
            break;
        case '\r':
            out += "&#13;";
            break;
        default:
            out += c;
        }
    }
    return out;
}

} // namespace galvorn
