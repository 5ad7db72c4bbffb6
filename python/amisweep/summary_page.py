"""The summary page a person opens after a sweep: the best setting per
channel, heat maps of the ranking figure over two swept parameters per
channel, and the table of every point (sortable by any column), each row
linking to the point's own report page.
"""
import html
import math
import os
import re

import matplotlib

matplotlib.use("Agg")
import matplotlib.pyplot as plt  # noqa: E402  (after choosing the file-only backend)
import numpy as np  # noqa: E402
import pandas as pd  # noqa: E402

PAGE = "summary.html"
PICTURES = "summary"
_SHOWN_FIGURES = re.compile(r"^eyes\.[^.]+\.(height_best_v|width_ui)$")


def _text(value):
    if value is None or pd.isna(value):
        return ""
    if isinstance(value, (float, np.floating)):
        return f"{value:.6g}"
    return str(value)


def _cell(value, link=None, long_text=False):
    text = html.escape(_text(value))
    attributes = ""
    if isinstance(value, (int, float, np.integer, np.floating)) and not isinstance(value, bool) \
            and _text(value):
        attributes = f' data-value="{float(value)!r}"'
    if long_text and text:  # one line on the page, the whole on hovering
        attributes = f' class="long" title="{text}"'
    if link:
        text = f'<a href="{html.escape(link)}">{text}</a>'
    return f"<td{attributes}>{text}</td>"


def _table(frame, columns, element_id=None, links=None):
    head = "".join(f'<th scope="col">{html.escape(c)}</th>' for c in columns)
    body = []
    for _, row in frame.iterrows():
        cells = []
        for column in columns:
            value = row[column] if column in row.index else None
            link = links(row) if links and column == "report" else None
            cells.append(_cell(value if column != "report" else "report", link,
                               long_text=column == "failure"))
        failed = "status" in row.index and row["status"] != "ok"
        opening = '<tr class="failed">' if failed else "<tr>"
        body.append(f"{opening}{''.join(cells)}</tr>")
    ident = f' id="{element_id}"' if element_id else ""
    return (f"<table{ident}><thead><tr>{head}</tr></thead>"
            f"<tbody>{''.join(body)}</tbody></table>")


def heatmap_axes(sweep):
    """The two swept parameters of the heat maps: the file's choice, else
    the first two swept (a single row or column where fewer are swept)."""
    if sweep.heatmap:
        return list(sweep.heatmap)
    swept = [axis.column for axis in sweep.axes if len(axis.values) > 1]
    return swept[:2]


def _best(values, goal):
    values = [v for v in values if v is not None and not math.isnan(v)]
    if not values:
        return math.nan
    return max(values) if goal == "max" else min(values)


def draw_heatmap(sweep, group, column, axes, path, title):
    """The figure over two swept parameters for one channel; where more
    parameters are swept, each cell shows the best over the others."""
    by_column = {axis.column: axis.values for axis in sweep.axes}
    x_name, y_name = (axes + [None, None])[:2]
    x_values = by_column[x_name] if x_name else [None]
    y_values = by_column[y_name] if y_name else [None]
    grid = np.full((len(y_values), len(x_values)), math.nan)
    for j, y in enumerate(y_values):
        for i, x in enumerate(x_values):
            chosen = group[(group["status"] == "ok")]
            if x_name:
                chosen = chosen[chosen[x_name] == x]
            if y_name:
                chosen = chosen[chosen[y_name] == y]
            grid[j, i] = _best([float(v) for v in chosen[column].dropna()], sweep.goal)
    width = min(12.0, 2.5 + 0.9 * len(x_values))
    height = min(10.0, 1.8 + 0.6 * len(y_values))
    figure, plot = plt.subplots(figsize=(width, height), dpi=100)
    colours = matplotlib.colormaps["viridis" if sweep.goal == "max" else "viridis_r"].copy()
    colours.set_bad("#cccccc")
    image = plot.imshow(np.ma.masked_invalid(grid), cmap=colours, aspect="auto", origin="lower")
    figure.colorbar(image, ax=plot, label=column)
    plot.set_xticks(range(len(x_values)), [_text(v) or "-" for v in x_values])
    plot.set_yticks(range(len(y_values)), [_text(v) or "-" for v in y_values])
    plot.set_xlabel(x_name or "")
    plot.set_ylabel(y_name or "")
    plot.set_title(title if len(title) <= 45 else "…" + title[-44:], fontsize=10)
    for j in range(len(y_values)):
        for i in range(len(x_values)):
            value = grid[j, i]
            if math.isnan(value):
                plot.text(i, j, "failed", ha="center", va="center", fontsize=8)
                continue
            red, green, blue, _ = colours(image.norm(value))
            short = sweep.limit is not None and (
                value < sweep.limit if sweep.goal == "max" else value > sweep.limit)
            plot.text(i, j, f"{value:.3g}", ha="center", va="center", fontsize=8,
                      color="red" if short else
                      "black" if 0.299 * red + 0.587 * green + 0.114 * blue > 0.5 else "white",
                      bbox=dict(facecolor="white", edgecolor="red") if short else None)
    figure.tight_layout()
    figure.savefig(path)
    plt.close(figure)


_SCRIPT = """
document.querySelectorAll('table#points th').forEach(function (header, index) {
  header.addEventListener('click', function () {
    var table = header.closest('table');
    var body = table.tBodies[0];
    var ascending = header.getAttribute('aria-sort') !== 'ascending';
    table.querySelectorAll('th').forEach(function (h) { h.removeAttribute('aria-sort'); });
    header.setAttribute('aria-sort', ascending ? 'ascending' : 'descending');
    var rows = Array.prototype.slice.call(body.rows);
    var key = function (row) {
      var cell = row.cells[index];
      var number = cell.getAttribute('data-value');
      return number === null ? cell.textContent : parseFloat(number);
    };
    rows.sort(function (a, b) {
      var x = key(a), y = key(b);
      var order = (typeof x === typeof y) ? (x < y ? -1 : x > y ? 1 : 0)
                                          : (typeof x === 'number' ? -1 : 1);
      return ascending ? order : -order;
    });
    rows.forEach(function (row) { body.appendChild(row); });
  });
});
"""

_STYLE = """
body { font-family: sans-serif; margin: 1.5em; color: #222; }
table { border-collapse: collapse; margin: 0.5em 0 1.5em; font-size: 0.9em; }
th, td { border: 1px solid #ccc; padding: 0.25em 0.6em; text-align: right; }
th { background: #eee; }
table#points th { cursor: pointer; }
th[aria-sort=ascending]::after { content: " \\25B2"; }
th[aria-sort=descending]::after { content: " \\25BC"; }
td:not([data-value]) { text-align: left; }
td.long { max-width: 30em; white-space: nowrap; overflow: hidden; text-overflow: ellipsis; }
.wide { overflow-x: auto; }
tr.failed td { background: #fdecea; }
figure { display: inline-block; margin: 0 1em 1em 0; }
"""


def write_summary(sweep, table, best, column, outcome):
    """Writes summary.html and its pictures into the sweep's output folder;
    returns the page's path."""
    folder = os.path.join(sweep.output, PICTURES)
    os.makedirs(folder, exist_ok=True)
    name = html.escape(sweep.name)
    parts = [f"<!DOCTYPE html><html lang=\"en\"><head><meta charset=\"utf-8\">"
             f"<title>Sweep {name}</title><style>{_STYLE}</style></head><body>",
             f"<h1>Sweep {name}</h1>"]
    failed = int((table["status"] != "ok").sum())
    parts.append(f"<p>{len(table)} points over {table['channel'].nunique()} channels: "
                 f"{len(table) - failed} ran, {failed} failed; {outcome['computed']} computed "
                 f"in this run, {outcome['cached']} from the cache. "
                 f"Whole table: <a href=\"results.csv\">results.csv</a>, times: "
                 f"<a href=\"timings.csv\">timings.csv</a>.</p>")
    if column is None:
        parts.append("<p>No point has the figure to rank by "
                     f"({html.escape(', '.join(sweep.rank_by))}).</p>")
    else:
        goal = "highest" if sweep.goal == "max" else "lowest"
        parts.append(f"<h2>Best setting per channel</h2><p>By <code>{html.escape(column)}</code>"
                     f", {goal} first"
                     + (f"; limit {sweep.limit:g}" if sweep.limit is not None else "") + ".</p>")
        parts.append('<div class="wide">' + _table(best, list(best.columns), element_id="best")
                     + "</div>")
        axes = heatmap_axes(sweep)
        parts.append(f"<h2>{html.escape(column)} over "
                     f"{html.escape(' and '.join(axes) or 'the single setting')}</h2>")
        if len([a for a in sweep.axes if len(a.values) > 1]) > len(axes):
            parts.append("<p>Each cell shows the best over the other swept parameters.</p>")
        for number, (channel, group) in enumerate(table.groupby("channel", sort=False)):
            picture = f"{PICTURES}/heatmap-{number + 1}.png"
            draw_heatmap(sweep, group, column, axes, os.path.join(sweep.output, picture), channel)
            parts.append(f'<figure><img src="{picture}" alt="{html.escape(column)} on '
                         f'{html.escape(channel)}"><figcaption>{html.escape(channel)}'
                         "</figcaption></figure>")
    shown = ["point", "channel"] + [a.column for a in sweep.axes if len(a.values) > 1] + \
        ["status"] + ([column] if column else []) + \
        [c for c in table.columns if _SHOWN_FIGURES.match(c) and c != column] + \
        ["failure", "report"]
    parts.append("<h2>All points</h2><p>Click a heading to sort.</p>")
    parts.append('<div class="wide">' + _table(table, shown, element_id="points",
                                               links=lambda row: row["report"]) + "</div>")
    parts.append(f"<script>{_SCRIPT}</script></body></html>\n")
    page = os.path.join(sweep.output, PAGE)
    with open(page, "w", encoding="utf-8") as f:
        f.write("\n".join(parts))
    return page
