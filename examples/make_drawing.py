#!/usr/bin/python3
"""Writes examples/drawing.dxf, the DXF example: lines in three layers and colours, an arc,
a text, a block placed by an INSERT, a line in paper space and a line carrying XDATA."""
import sys

import ezdxf

doc = ezdxf.new("R2010")
doc.header["$HANDSEED"] = "100"  # fixed handles, so that the file is the same on every run
doc.layers.add("walls", color=1)
doc.layers.add("doors", color=5)
doc.layers.add("frame", color=8)
msp = doc.modelspace()
for x0, y0, x1, y1 in [(-100, -70, 100, -70), (100, -70, 100, 70), (100, 70, -100, 70), (-100, 70, -100, -70)]:
    msp.add_line((x0, y0), (x1, y1), dxfattribs={"layer": "frame"})
msp.add_line((10, 0), (60, 0), dxfattribs={"layer": "walls"})
msp.add_line((-60, 10), (-10, 10), dxfattribs={"layer": "walls", "color": 3})
msp.add_line((0, 20), (0, 60), dxfattribs={"layer": "Walls"})
msp.add_line((-50, -50), (40, -30), dxfattribs={"layer": "doors"})
marked = msp.add_line((20, -20), (70, -55), dxfattribs={"layer": "doors", "color": 6})
doc.appids.new("LINETILT_EXAMPLE")
marked.set_xdata("LINETILT_EXAMPLE", [(1000, "a line with application data"), (1040, 2.5)])
msp.add_arc((-50, -20), 20, 30, 150, dxfattribs={"layer": "walls"})
msp.add_text("linetilt", dxfattribs={"layer": "doors", "height": 6, "insert": (-90, 55)})
door = doc.blocks.new("DOOR")
door.add_line((0, 0), (0, 15))
door.add_arc((0, 0), 15, 0, 90)
msp.add_blockref("DOOR", (70, 20), dxfattribs={"layer": "doors"})
doc.layout("Layout1").add_line((0, 0), (50, 50))
doc.saveas(sys.argv[1] if len(sys.argv) > 1 else "drawing.dxf")
