// The parameter table on the control and the automation members of the CGI pages: the request
// path, the body, the table's lookups and changes, the extended device information and PostCmd.
#include "control/cimage.h"
#include "platform/trace.h"

#include <algorithm>
#include <cstring>

namespace tessivor {

namespace {

constexpr std::size_t kPostCmdPathLimit = 500;
constexpr std::size_t kWebPortOffset = 261; // in the extended device information block

std::string_view bodyView(const std::array<char, CImage::kBodySize>& body)
{
    return std::string_view(body.data(), ::strnlen(body.data(), body.size()));
}

// The text a setter stores: a string variant's text, "0" for an empty variant, other kinds as
// their printed value.
std::string variantText(const Variant& v)
{
    if (v.empty())
        return "0";
    std::string text;
    if (v.toBstr(&text) != S_OK)
        return "0";
    return text;
}

} // namespace

// ---- the table ----

int CImage::parameterCount() const
{
    return std::clamp<std::int32_t>(m_Http.m_nParameterNum, 0, kMaxParameterEntries);
}

void CImage::ParseParameters(std::string_view separator)
{
    ParameterParse parsed = parseParameterBody(bodyView(m_Http.m_Body), separator);
    if (parsed.skippedPieces || parsed.droppedPieces || parsed.cutTexts)
        trace("parameters: %d pieces without '=' skipped, %d beyond %d entries dropped, %d texts cut",
              parsed.skippedPieces, parsed.droppedPieces, kMaxParameterEntries, parsed.cutTexts);
    m_Http.m_Parameters = std::move(parsed.entries);
    FlattenParameters();
    m_Http.m_nParameterNum = static_cast<std::int32_t>(m_Http.m_Parameters.size());
}

void CImage::FlattenParameters()
{
    m_Http.m_ParameterTable.fill(ParameterEntry{});
    const std::size_t n = std::min<std::size_t>(m_Http.m_Parameters.size(), m_Http.m_ParameterTable.size());
    std::copy_n(m_Http.m_Parameters.begin(), n, m_Http.m_ParameterTable.begin());
}

bool CImage::SerializeParameters(std::string_view separator)
{
    std::string text;
    if (!serializeParameterEntries(m_Http.m_ParameterTable.data(), parameterCount(), separator, kBodySize - 1,
                                   &text))
        return false;
    SetBodyText(text);
    return true;
}

bool CImage::FindParameter(std::string_view name, char* buffer, int length) const
{
    const int count = parameterCount();
    for (int i = 0; i < count; ++i) {
        const ParameterEntry& e = m_Http.m_ParameterTable[static_cast<std::size_t>(i)];
        if (!e.isSection() && e.nameView() == name) {
            const std::string_view v = e.valueView();
            const std::size_t n =
                std::min<std::size_t>(v.size(), static_cast<std::size_t>(std::max(length, 0)));
            std::memcpy(buffer, v.data(), n);
            buffer[n] = 0;
            return true;
        }
    }
    return false;
}

std::string CImage::BodyText() const
{
    return std::string(bodyView(m_Http.m_Body));
}

void CImage::SetBodyText(std::string_view text)
{
    m_Http.m_Body.fill(0);
    const std::size_t n = std::min(text.size(), kBodySize - 1);
    std::memcpy(m_Http.m_Body.data(), text.data(), n);
}

// ---- automation members ----

HRESULT CImage::get_CGIAPNAME(std::string* pVal)
{
    *pVal = m_Http.m_szCgiPath.str();
    return S_OK;
}

HRESULT CImage::put_CGIAPNAME(std::string_view newVal)
{
    m_Http.m_szCgiPath.assign(newVal.substr(0, utf8PrefixLength(newVal, kCgiPathLimit)));
    return S_OK;
}

HRESULT CImage::GetCGIConfig(std::int32_t lflag, std::int32_t* pVal)
{
    if (m_Connection.read().m_nProtocol == PROTOCOL_MULTIPART)
        *pVal = HttpGet(lflag);
    return S_OK;
}

HRESULT CImage::PostCGIConfig(std::int32_t lflag, std::int32_t* pVal)
{
    if (m_Connection.read().m_nProtocol == PROTOCOL_MULTIPART)
        *pVal = HttpPost(lflag);
    return S_OK;
}

HRESULT CImage::get_CGIALLValue(std::string* pVal)
{
    *pVal = BodyText();
    return S_OK;
}

HRESULT CImage::put_CGIALLValue(std::string_view newVal)
{
    SetBodyText(newVal);
    return S_OK;
}

HRESULT CImage::get_ParameterNum(std::int32_t* pVal)
{
    *pVal = m_Http.m_nParameterNum;
    return S_OK;
}

HRESULT CImage::put_ParameterNum(std::int32_t newVal)
{
    m_Http.m_nParameterNum = newVal;
    return S_OK;
}

HRESULT CImage::GetParameterName(std::int32_t ParaNum, std::string* pVal)
{
    if (ParaNum >= 0 && ParaNum < parameterCount())
        *pVal = std::string(m_Http.m_ParameterTable[static_cast<std::size_t>(ParaNum)].nameView());
    return S_OK;
}

HRESULT CImage::GetParameterValue(std::string_view sName, std::string* pVal)
{
    const int count = parameterCount();
    for (int i = 0; i < count; ++i) {
        const ParameterEntry& e = m_Http.m_ParameterTable[static_cast<std::size_t>(i)];
        if (!e.isSection() && e.nameView() == sName) {
            *pVal = std::string(e.valueView());
            break;
        }
    }
    return S_OK;
}

namespace {

struct SectionSearch
{
    int match = -1;           // index of the entry found
    bool sectionSeen = false; // a header containing the tag was met
};

// Walks the entries: a header containing `tag` opens a section, any other header closes it; the
// first non-header entry named `name` inside an open section is the match.
SectionSearch searchSection(const ParameterEntry* entries, int count, std::string_view tag,
                            std::string_view name)
{
    SectionSearch r;
    bool open = false;
    for (int i = 0; i < count; ++i) {
        const ParameterEntry& e = entries[i];
        if (e.isSection()) {
            open = e.nameView().find(tag) != std::string_view::npos;
            r.sectionSeen = r.sectionSeen || open;
        } else if (open && e.nameView() == name) {
            r.match = i;
            break;
        }
    }
    return r;
}

} // namespace

HRESULT CImage::GetParameterValueEx(std::string_view sTag, std::string_view sName, std::string* pVal)
{
    if (sTag.empty() || sName.empty())
        return S_OK;
    const SectionSearch r = searchSection(m_Http.m_ParameterTable.data(), parameterCount(), sTag, sName);
    if (r.match >= 0)
        *pVal = std::string(m_Http.m_ParameterTable[static_cast<std::size_t>(r.match)].valueView());
    return S_OK;
}

HRESULT CImage::SetParameterValue(std::string_view sName, const Variant& newVal, std::int32_t* pVal)
{
    *pVal = 0;
    const int count = std::min(parameterCount(), static_cast<int>(m_Http.m_Parameters.size()));
    for (int i = 0; i < count; ++i) {
        ParameterEntry& e = m_Http.m_Parameters[static_cast<std::size_t>(i)];
        if (!e.isSection() && e.nameView() == sName) {
            e.setValue(variantText(newVal));
            e.flag = ParameterEntry::kChanged;
            FlattenParameters();
            *pVal = -1;
            break;
        }
    }
    return S_OK;
}

HRESULT CImage::SetParameterValueEx(std::string_view sTag, std::string_view sName, const Variant& newVal,
                                    std::int32_t* pVal)
{
    *pVal = 0;
    if (sTag.empty() || sName.empty())
        return S_OK;
    const std::string value = variantText(newVal);
    const int count = std::min(parameterCount(), static_cast<int>(m_Http.m_Parameters.size()));
    const SectionSearch r = searchSection(m_Http.m_Parameters.data(), count, sTag, sName);
    if (r.match >= 0) {
        ParameterEntry& e = m_Http.m_Parameters[static_cast<std::size_t>(r.match)];
        e.setValue(value);
        e.flag = ParameterEntry::kChanged;
    } else {
        // Appended after every existing entry: under the tag's first section when there is one,
        // else under a new header.
        const std::size_t needed = r.sectionSeen ? 1 : 2;
        if (m_Http.m_Parameters.size() + needed > static_cast<std::size_t>(kMaxParameterEntries))
            return S_OK; // the table is full: nothing is added
        if (!r.sectionSeen) {
            ParameterEntry header;
            header.setName("[" + std::string(sTag) + "]");
            header.flag = ParameterEntry::kSection;
            m_Http.m_Parameters.push_back(header);
        }
        ParameterEntry entry;
        entry.setName(sName);
        entry.setValue(value);
        entry.flag = ParameterEntry::kChanged;
        m_Http.m_Parameters.push_back(entry);
        m_Http.m_nParameterNum = static_cast<std::int32_t>(m_Http.m_Parameters.size());
    }
    FlattenParameters();
    *pVal = -1;
    return S_OK;
}

HRESULT CImage::ClearParameter()
{
    m_Http.m_Parameters.clear();
    FlattenParameters();
    m_Http.m_nParameterNum = 0;
    return S_OK;
}

HRESULT CImage::GetDevExtInfo(std::int32_t* pVal)
{
    auto webPort = [this] {
        const std::int32_t port =
            m_Http.m_DevExtInfo[kWebPortOffset] | (m_Http.m_DevExtInfo[kWebPortOffset + 1] << 8);
        m_Connection.update([port](ConnectionSettings& conn) { conn.m_nRemoteWebPort = port; });
    };
    switch (m_Connection.read().m_nProtocol) {
    case PROTOCOL_MULTIPART:
        m_Http.m_szCgiPath.assign("/goform/serial");
        *pVal = HttpGet(0);
        if (*pVal != -1)
            break;
        SetDeviceSerialNoText(BodyText());
        m_Http.m_szCgiPath.assign("/goform/devextinfo");
        *pVal = HttpGet(0);
        if (*pVal == -1) {
            std::memcpy(m_Http.m_DevExtInfo.data(), m_Http.m_Body.data(), kDevExtInfoSize);
            webPort();
        }
        break;
    case PROTOCOL_KESTRA:
        SetDeviceSerialNoText(BodyText());
        m_Http.m_szCgiPath.assign("/getInfo.asp");
        *pVal = HttpGet(1);
        if (*pVal == -1) {
            // The answer has two more bytes before its second part than the block keeps.
            std::memcpy(m_Http.m_DevExtInfo.data(), m_Http.m_Body.data(), 262);
            std::memcpy(m_Http.m_DevExtInfo.data() + 259, m_Http.m_Body.data() + 260, 252);
            webPort();
        }
        break;
    default:
        break;
    }
    return S_OK;
}

HRESULT CImage::PostCmd(std::string_view sCGI_CMD, std::string_view sCONTENT, std::int32_t ContentLength,
                        std::int32_t* pVal)
{
    // The content must fit the caller's announced buffer (with its terminator) and the path its
    // 500 bytes; anything larger is refused rather than cut.
    if (ContentLength <= 0 || sCONTENT.size() >= static_cast<std::size_t>(ContentLength) ||
        sCGI_CMD.size() >= kPostCmdPathLimit) {
        *pVal = 0;
        return S_OK;
    }
    *pVal = HttpPostCommand(sCGI_CMD, sCONTENT);
    return S_OK;
}

} // namespace tessivor
