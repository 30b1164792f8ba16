"""The Japanese guide (README.ja.md) as HTML for the page, which opens it offline. Only what the
guide uses: headings, paragraphs, lists, tables, code blocks, `code`, **bold** and links (their
text); pictures are left out, since the page holds no file beside it."""
import html, re


def inline(text):
    text = html.escape(text, quote=False)
    text = re.sub(r"!\[[^\]]*\]\([^)]*\)", "", text)
    text = re.sub(r"\[([^\]]+)\]\([^)]*\)", r"\1", text)
    text = re.sub(r"`([^`]+)`", r"<code>\1</code>", text)
    return re.sub(r"\*\*([^*]+)\*\*", r"<strong>\1</strong>", text)


def joined(lines):
    # Japanese runs on across a line end; words of Latin letters take a space.
    out = ""
    for line in lines:
        line = line.strip()
        if out and not (ord(out[-1]) > 0x2e7f or ord(line[:1] or " ") > 0x2e7f):
            out += " "
        out += line
    return out


def guide_html(markdown):
    blocks, lines, i = [], markdown.splitlines(), 0
    while i < len(lines):
        line = lines[i]
        if line.startswith("```"):
            end = next((k for k in range(i + 1, len(lines)) if lines[k].startswith("```")), len(lines))
            blocks.append("<pre>" + html.escape("\n".join(lines[i + 1:end]), quote=False) + "</pre>")
            i = end + 1
        elif m := re.match(r"(#+) (.*)", line):
            level = min(len(m.group(1)) + 1, 6)  # the page has its own h1
            named = "" if any(b.startswith("<h") for b in blocks) else ' id="guide-title"'
            blocks.append(f"<h{level}{named}>{inline(m.group(2))}</h{level}>")
            i += 1
        elif line.startswith("|"):
            rows = []
            while i < len(lines) and lines[i].startswith("|"):
                if not re.match(r"\|[-| :]+\|$", lines[i]):
                    rows.append("<tr>" + "".join(f"<td>{inline(c.strip())}</td>" for c in lines[i].strip("|").split("|")) + "</tr>")
                i += 1
            blocks.append("<table>" + "".join(rows) + "</table>")
        elif re.match(r"(- |\d+\. )", line):
            ordered, items = line[0].isdigit(), []
            while i < len(lines) and (re.match(r"(- |\d+\. )", lines[i]) or lines[i].startswith("  ") and items):
                if re.match(r"(- |\d+\. )", lines[i]):
                    items.append([re.sub(r"^(- |\d+\. )", "", lines[i])])
                else:
                    items[-1].append(lines[i])
                i += 1
            tag = "ol" if ordered else "ul"
            blocks.append(f"<{tag}>" + "".join(f"<li>{inline(joined(item))}</li>" for item in items) + f"</{tag}>")
        elif line.strip():
            start = i
            while i < len(lines) and lines[i].strip() and not re.match(r"(```|#|\||- |\d+\. )", lines[i]):
                i += 1
            text = inline(joined(lines[start:i]))
            if text:
                blocks.append(f"<p>{text}</p>")
        else:
            i += 1
    return "\n".join(blocks)
