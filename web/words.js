// What the page says, in both its languages.
"use strict";

// Everything the page says, in Japanese and in English, in a drafter's words. The stand-in's
// own messages (why a drawing or a run is refused) are shown as it gives them.
const WORDS = {
    ja: {
        title: "linetilt：図面の線を傾ける",
        intro: "選んだ線を 1 本ずつ、両端と中点のうち指示点に最も近い点を回転の中心として、指定した角度だけ回転します。" +
               "処理はすべてこのページの中で行い、図面がこのコンピューターの外に出ることはありません。",
        other: "English", otherName: "Switch to English", guide: "使い方（日本語ガイド）", close: "閉じる",
        controls: "図面と設定", file: "図面（ASCII DXF またはレコードテキスト）",
        point: "指示点（図面をクリックするか、数値を入力）", angle: "角度（度。絶対値は 360 未満）",
        angleHelp: "線は 1 本ずつ、両端と中点のうち指示点に最も近い点を中心に回ります。正の角度では、" +
                   "中心が左の端か中点なら反時計回り、右の端なら時計回りです。",
        layers: "回転する線の画層", run: "線を回転", stop: "中止", undo: "元に戻す", redo: "やり直す", save: "新しい図面を保存", progress: "進み具合", saveName: "保存するファイルの名前",
        summary: "実行結果の要約", drawingView: "図面", fit: "全体表示", zoomIn: "拡大", zoomOut: "縮小",
        legend: "灰色：実行前　色付き：実行後　■：回転の中心　赤い円：指示点　橙：選んだ線　薄い灰色：そのほかの図形　＋：文字の位置。" +
                "左から右へドラッグ：窓で囲んだ線を選択　右から左へ：触れた線を選択　Shift：選択から外す　" +
                "中ボタンまたはスペース＋ドラッグ：移動　Alt：スナップしない",
        canvas: "図面。ここにファイルをドロップできます。ドラッグで線を範囲選択、Ctrl+A ですべて選択、Esc で選択を解除。" +
                "矢印キーで移動、＋と－で拡大・縮小、F で全体表示。中央の十字の位置に Enter で指示点を置きます。",
        clicking: "クリックで", modePoint: "指示点を置く", modeSelect: "線を選ぶ", snap: "端点・中点にスナップ",
        picked: "選んだ線：{count} 本", pickedNone: "線を選んでいません（チェックした画層の線をすべて回転します）",
        cursor: "X {x}　Y {y}",
        commandLine: "同じ結果になるコマンドライン",
        commandHelp: "いまの設定で「線を回転」を押したときと同じことを linetilt-host で行うコマンドです。" +
                     "回転した後は、表示中の図面を上の名前で保存したファイルに対するコマンドになります。",
        commandLong: "…（{length} 文字あり、コマンドラインでは渡せない長さです。線を画層で選ぶか、何回かに分けてください）",
        savePicture: "図を保存（SVG）", pictureNone: "保存できる図はまだありません。線を回転してから保存してください。",
        reading: "{name} を読み込んでいます…",
        unreadable: "{name} を読めませんでした。選んだあとに移動や変更がなかったか確かめて、もう一度選んでください。開いている図面はそのままです。",
        empty: "{name} は空のファイルです。図面が入っていません。",
        opened: "{name}：線 {count} 本{others}。指示点を決めてから「線を回転」を押してください。",
        others: "（ほかの要素 {count} 個は表示していません）", oneOther: "（ほかの要素 1 個は表示していません）",
        x: "X", y: "Y", angleName: "角度",
        missing: "{what}が入力されていません。数値を入力してください{click}。",
        missingClick: "（図面をクリックしても入力できます）",
        notNumber: "{what}には数値を入力してください。「{text}」は数値として読めません。",
        angleRange: "角度は絶対値が 360 度未満になるように入力してください。",
        chooseLayer: "回転する線の画層を 1 つ以上選んでください。",
        tooManyPicks: "選んだ線が多すぎて 1 回では渡せません。画層のチェックで選ぶか、何回かに分けて回転してください。",
        tilting: "{count} 本の線を回転しています（ツールの実行 {runs} 回）…",
        failed: "回転できませんでした（ステータス {status}）。",
        done: "完了しました（{seconds} 秒）。",
        saved: "{name} として保存しました。",
        pageFailed: "ページの処理が止まりました：{message}",
        stopped: "中止しました。図面は変わっていません。",
        stoppedNothing: "中止しました。",
        stoppedForChange: "回転の途中で設定が変わったので中止しました。図面は変わっていません。" +
                          "表示中の設定で回転するには、もう一度「線を回転」を押してください。",
        indicated: "指示点：{x}, {y}。", undone: "1 段元に戻しました。", redone: "1 段やり直しました。",
        beyond: "±{limit} を超える座標の線は、ほかの線と一緒には描けないので表示していません。",
        // Why a drawing or a run was refused, by the stand-in's reason: values as it gives them.
        why_binary: "{name} はバイナリ形式の DXF です。CAD で ASCII 形式の DXF として保存し直してから開いてください。",
        why_notCode: "図面の {line} 行目（「{text}」）は DXF ファイルのこの位置にあるはずのない内容のため、読み込めません。" +
                     "DXF として保存されたファイルか確かめるか、CAD で保存し直してください。",
        why_noValue: "図面が途中で切れています（{line} 行目で終わっています）。CAD で保存し直してください。",
        why_noEnd: "図面が途中で切れています（図形の部分に終わりがありません）。CAD で保存し直してください。",
        why_notRecord: "図面の {line} 行目（「{text}」）はホストの図面のレコードではないため、読み込めません。",
        why_noGroup: "図面の {line} 行目の線に{group}がありません。CAD でこの線を直すか、その画層を外してください。",
        why_groupTwice: "図面の {line} 行目の線に{group}が 2 つあり、どちらが正しいか決められません。" +
                        "CAD でこの線を直すか、その画層を外してください。",
        why_notNumber: "図面の {line} 行目の線の{group}（「{text}」）が数値ではありません。" +
                       "CAD でこの線を直すか、その画層を外してください。",
        why_noLayer: "画層「{layer}」には回転できる線がありません。ほかの画層を選んでください。",
        why_toolFailed: "回転のツールが途中で失敗しました。図面は変わっていません。もう一度お試しください。",
        why_memory: "この図面を扱うにはメモリーが足りません。図面は変わっていません。ほかのタブやプログラムを閉じてからお試しください。",
        sumTurned: "{turned} 本の線を {angle} 度回転{about}", sumAbout: "（中心：{pivots}）",
        sumSelected: "選んだ線は {selected} 本です。",
        sumPivot1: "左の端 {n}", sumPivot2: "中点 {n}", sumPivot3: "右の端 {n}", sumPivotJoin: "、",
        sumDropped: "{dropped} 本は長さがないため、ツールが取り除きました。",
        sumKept: "{dropped} 本は長さがないため、そのまま残しました。",
        sumCollapsed: "短すぎて小数 12 桁では両端が同じになる線 {collapsed} 本は、元のままです。",
        sumStretched: "図面の単位に対して小数 12 桁では足りず、長さが 100 万分の 1 を超えて変わった線が {stretched} 本あります。",
        sumRuns: "ツールの実行：{runs} 回。",
        group_10: "始点の X 座標", group_20: "始点の Y 座標", group_11: "終点の X 座標", group_21: "終点の Y 座標",
    },
    en: {
        title: "linetilt: tilt the lines of a drawing",
        intro: "Turns each selected line by the angle about its first end, midpoint or second end, whichever is " +
               "nearest the indicated point. Everything happens in this page: the drawing never leaves the computer.",
        other: "日本語", otherName: "日本語に切り替える", guide: "Guide (in Japanese)", close: "Close",
        controls: "Drawing and options", file: "Drawing (ASCII DXF or record text)",
        point: "Indicated point (click the drawing, or type it)", angle: "Angle in degrees (magnitude below 360)",
        angleHelp: "Each line turns about whichever of its ends and its midpoint is nearest the indicated point. " +
                   "A positive angle turns it counter-clockwise about its left end or midpoint, clockwise about its right end.",
        layers: "Layers whose lines are turned", run: "Tilt the lines", stop: "Stop", undo: "Undo", redo: "Redo", save: "Save the new drawing", saveName: "Name to save under",
        progress: "Progress", summary: "Summary of the run", drawingView: "The drawing", fit: "Fit",
        zoomIn: "Zoom in", zoomOut: "Zoom out",
        legend: "grey: before; coloured: after; \u25a0 pivot; red circle: indicated point; orange: selected lines; light " +
                "grey: the drawing's other entities; +: where a text stands. Drag left to right: select the lines " +
                "inside; right to left: those it touches; Shift: take out; middle button or Space+drag: pan; Alt: " +
                "no snapping",
        canvas: "The drawing. Drop a file here. Drag to select lines, Ctrl+A selects all, Esc none; arrow keys pan, " +
                "plus and minus zoom, F fits; Enter sets the indicated point at the cross in the middle.",
        clicking: "A click", modePoint: "sets the indicated point", modeSelect: "selects a line",
        snap: "snap to ends and midpoints",
        picked: "Selected: {count}", pickedNone: "No line selected: the lines of the ticked layers all turn",
        cursor: "X {x}  Y {y}",
        commandLine: "The command line for the same result",
        commandHelp: "With this command linetilt-host does what Tilt does with the settings shown; once the drawing " +
                     "is changed, to the drawing shown as saved under the name above.",
        commandLong: "... ({length} characters: longer than a command line takes. Choose the lines by layer, or " +
                     "tilt them in parts.)",
        savePicture: "Save the picture (SVG)", pictureNone: "There is no picture to save yet: tilt the lines first.",
        reading: "Reading {name} ...",
        unreadable: "{name} could not be read; see that it was not moved or changed since it was chosen, and choose it again. The drawing open is as it was.",
        empty: "{name} is empty: it holds no drawing.",
        opened: "{name}: {count} {lines}{others}. Set the indicated point, then tilt.",
        others: ", {count} other entities not drawn", oneOther: ", 1 other entity not drawn",
        x: "X", y: "Y", angleName: "The angle",
        missing: "{what} is missing: type a number{click}.",
        missingClick: ", or click the drawing",
        notNumber: "{what} must be a number, not \"{text}\"",
        angleRange: "The angle's magnitude must be below 360 degrees",
        chooseLayer: "Choose at least one layer",
        tooManyPicks: "Too many lines are picked to be named in one run: choose them by layer, or tilt them in parts.",
        tilting: "Tilting {count} lines in {runs} of the tool ...",
        failed: "The run failed (status {status})",
        done: "Done in {seconds} s.",
        saved: "Saved as {name}.",
        pageFailed: "The page failed: {message}",
        stopped: "Stopped; nothing is changed.",
        stoppedNothing: "Stopped.",
        stoppedForChange: "Stopped, since the settings changed while the lines were being tilted; nothing is " +
                          "changed. Tilt again for the settings shown.",
        indicated: "Indicated point {x}, {y}.", undone: "Undone one step.", redone: "Redone one step.",
        beyond: "Some lines reach beyond \u00b1{limit}, too far to be drawn with the others: the view shows the rest.",
        why_binary: "{name} is a binary DXF drawing: save it as ASCII DXF in the CAD program, then open it again.",
        why_notCode: "Line {line} of the drawing (\"{text}\") cannot stand there in a DXF file, so the file cannot " +
                     "be read: check that it was saved as DXF, or save it again in the CAD program.",
        why_noValue: "The drawing is cut short (it ends at line {line}): save it again in the CAD program.",
        why_noEnd: "The drawing is cut short (its entities have no end): save it again in the CAD program.",
        why_notRecord: "Line {line} of the drawing (\"{text}\") is not a record of the host's drawings, so the file " +
                       "cannot be read.",
        why_noGroup: "The line at line {line} of the drawing has no {group}: mend it in the CAD program, or leave its " +
                     "layer out.",
        why_groupTwice: "The line at line {line} of the drawing has its {group} twice, and which one counts cannot be " +
                        "told: mend it in the CAD program, or leave its layer out.",
        why_notNumber: "The {group} of the line at line {line} of the drawing (\"{text}\") is not a number: mend it in " +
                       "the CAD program, or leave its layer out.",
        why_noLayer: "The layer \"{layer}\" has no line that can be turned: choose other layers.",
        why_toolFailed: "The tool that turns the lines failed; the drawing is as it was. Try again.",
        why_memory: "There is not enough memory for this drawing; the drawing is as it was. Close other tabs or " +
                    "programs and try again.",
        sumTurned: "{turned} turned by {angle}\u00b0{about}", sumAbout: " (about {pivots})",
        sumSelected: "{selected} selected.",
        sumPivot1: "the left end: {n}", sumPivot2: "the midpoint: {n}", sumPivot3: "the right end: {n}",
        sumPivotJoin: "; ",
        sumDropped: "{dropped} removed by the tool: they have no length.",
        sumKept: "{dropped} left as they were: they have no length.",
        sumCollapsed: "{collapsed} left as they were: too short, both ends came back equal at twelve decimals.",
        sumStretched: "{stretched} changed in length by more than a millionth: twelve decimals are too few for the " +
                      "drawing's units.",
        sumRuns: "Runs of the tool: {runs}.",
        group_10: "start's X", group_20: "start's Y", group_11: "end's X", group_21: "end's Y",
    },
};
