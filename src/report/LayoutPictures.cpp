// SPDX-License-Identifier: GPL-3.0-or-later
// Pictures: their words, their data as hex or \\bin, and the image files they become.

#include "common/ImageDecode.h"
#include "report/LayoutReaderState.h"

namespace keld::render::layout {

using rtf::HexValue;
using rtf::Kw;
using rtf::KwInfo;

void LayoutReader::PictureWord(std::string_view name, bool hasParam, std::int32_t param)
{
    if (name == "pngblip")
        m_pict.kind = PictureState::Kind::Png;
    else if (name == "jpegblip")
        m_pict.kind = PictureState::Kind::Jpeg;
    else if (name == "dibitmap")
        m_pict.kind = PictureState::Kind::Dib;
    else if (name == "wmetafile" || name == "emfblip" || name == "macpict" || name == "pmmetafile" ||
             name == "wbitmap")
        m_pict.kind = PictureState::Kind::Unknown;
    else if (!hasParam)
        return;
    else if (name == "picw")
        m_pict.picw = std::clamp(param, 0, 1 << 20);
    else if (name == "pich")
        m_pict.pich = std::clamp(param, 0, 1 << 20);
    else if (name == "picwgoal")
        m_pict.goalw = std::clamp(param, 0, kMaxLength);
    else if (name == "pichgoal")
        m_pict.goalh = std::clamp(param, 0, kMaxLength);
    else if (name == "picscalex")
        m_pict.scalex = std::clamp(param, 1, 1000);
    else if (name == "picscaley")
        m_pict.scaley = std::clamp(param, 1, 1000);
}

// A floating shape's words: where it stands, how text flows past it, and its properties, of
// which only the picture (pib) is read.
void LayoutReader::ShapeWord(Group& g, const KwInfo& info, std::string_view name, bool hasParam,
                             std::int32_t param)
{
    if (g.dest == Dest::ShapeValue) {
        if (info.kw == Kw::Pict)
            DestinationWord(g, info);
        else if (info.kw == Kw::SkipDest || info.kw == Kw::ShapeProperty)
            HideGroup();
        return;
    }
    if (g.dest != Dest::Shape)
        return;
    if (info.kw == Kw::ShapeProperty) {
        if (info.arg == 1) {
            g.dest = Dest::ShapeName;
            m_shapeName.clear();
        } else if (info.arg == 2) {
            if (m_shapeName == "pib")
                g.dest = Dest::ShapeValue;
            else
                HideGroup();
        }
        return;
    }
    if (info.kw == Kw::SkipDest || info.kw == Kw::Shape || info.kw == Kw::Pict) {
        HideGroup();
        return;
    }
    ShapeState& s = m_shape;
    if (name == "shpbxpage")
        s.fromX = Anchor::From::Page;
    else if (name == "shpbxmargin" || name == "shpbxcolumn")
        s.fromX = Anchor::From::Margin;
    else if (name == "shpbypage")
        s.fromY = Anchor::From::Page;
    else if (name == "shpbymargin")
        s.fromY = Anchor::From::Margin;
    else if (name == "shpbypara")
        s.fromY = Anchor::From::Paragraph;
    else if (!hasParam)
        return;
    else if (name == "shpleft")
        s.left = Length(param);
    else if (name == "shptop")
        s.top = Length(param);
    else if (name == "shpright")
        s.right = Length(param);
    else if (name == "shpbottom")
        s.bottom = Length(param);
    else if (name == "shpwr")
        s.wrap = param;
    else if (name == "shpfblwtxt")
        s.behind = param != 0;
}

void LayoutReader::FinishPicture()
{
    Group& g = m_stack.back();
    PictureState pict = std::move(m_pict);
    m_pict = {};
    if (pict.kind == PictureState::Kind::Unknown || g.ch.hidden ||
        g.flow >= static_cast<int>(m_flows.size()))
        return;
    std::string data = std::move(pict.bin);
    if (data.empty()) {
        data.reserve(pict.hex.size() / 2);
        for (std::size_t k = 0; k + 1 < pict.hex.size(); k += 2)
            data.push_back(static_cast<char>(HexValue(static_cast<unsigned char>(pict.hex[k])) * 16 +
                                             HexValue(static_cast<unsigned char>(pict.hex[k + 1]))));
        // The hex is twice the picture: gone before anything else is made of it.
        std::string().swap(pict.hex);
    }
    if (data.empty())
        return;
    // A BMP file says where its pixels start, which image readers need.
    if (pict.kind == PictureState::Kind::Dib)
        data = BmpFileFromDib(data);
    Picture picture;
    auto twips = [](std::int32_t goal, std::int32_t pixels, std::int32_t scale) -> std::int32_t {
        std::int64_t t = goal > 0 ? goal : std::int64_t{pixels} * 15;
        return static_cast<std::int32_t>(std::min<std::int64_t>(t * scale / 100, kMaxLength));
    };
    picture.width = twips(pict.goalw, pict.picw, pict.scalex);
    picture.height = twips(pict.goalh, pict.pich, pict.scaley);
    // A shape's picture fills the shape.
    if (g.inShape && m_shape.right > m_shape.left && m_shape.bottom > m_shape.top) {
        picture.width = m_shape.right - m_shape.left;
        picture.height = m_shape.bottom - m_shape.top;
    }
    // The same picture many times over is decoded and stored once. It is found by its hash, as a
    // copy of its bytes for a key would double the largest thing the report holds.
    const std::size_t hash = std::hash<std::string_view>{}(data);
    int index = -1;
    for (auto [it, end] = m_pictureIndex.equal_range(hash); it != end && index < 0; ++it) {
        const Picture& known = m_out.pictures[static_cast<std::size_t>(it->second)];
        if (known.width == picture.width && known.height == picture.height && known.data == data)
            index = it->second;
    }
    if (index < 0) {
        index = static_cast<int>(m_out.pictures.size());
        picture.data = std::move(data);
        m_out.pictures.push_back(std::move(picture));
        m_pictureIndex.emplace(hash, index);
    }
    Run run;
    run.kind = Run::Kind::Picture;
    run.format = g.ch;
    run.picture = index;
    // A shape that text flows past is drawn at its place; one that pushes text aside stands in
    // the line at its anchor, as a float is not placed.
    if (g.inShape && (m_shape.wrap == 3 || m_shape.wrap == 5))
        run.floating = Anchor{m_shape.fromX, m_shape.fromY, m_shape.left, m_shape.top, m_shape.behind};
    m_flows[g.flow].pending.runs.push_back(std::move(run));
}

} // namespace keld::render::layout
