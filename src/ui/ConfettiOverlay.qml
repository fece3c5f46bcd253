import QtQuick

// A short shower of ribbons and squares over the window when a run rescued every drawing.
// Each piece has its own random start, delay, fall, drift, sway, flip, spin, tilt, phase and
// size; once the lifetime has passed nothing is drawn any more.
Item {
    id: overlay
    readonly property int pieceCount: 90
    readonly property real lifetime: 4.2
    property real elapsed: 0
    readonly property bool hasFinished: elapsed >= lifetime
    readonly property var colors: [VellixTheme.accent, VellixTheme.success, VellixTheme.warning,
                                   "#ff6b9a", "#b892ff", "#ffffff"]

    visible: !hasFinished
    enabled: false
    Accessible.ignored: true

    NumberAnimation on elapsed {
        from: 0
        to: overlay.lifetime
        duration: overlay.lifetime * 1000
        running: true
    }

    Repeater {
        model: overlay.pieceCount
        Rectangle {
            id: piece
            readonly property bool isRibbon: Math.random() < 0.5
            readonly property real startX: Math.random() * overlay.width
            readonly property real startY: -40 - Math.random() * 120
            readonly property real delay: Math.random() * 1.2
            readonly property real fall: overlay.height * (0.85 + Math.random() * 0.4)
            readonly property real drift: (Math.random() - 0.5) * 220
            readonly property real sway: 12 + Math.random() * 26
            readonly property real swayCycles: 1 + Math.random() * 2.5
            readonly property real flipCycles: 1 + Math.random() * 4
            readonly property real spin: (Math.random() - 0.5) * 900
            readonly property real tilt: Math.random() * 360
            readonly property real phase: Math.random() * Math.PI * 2
            readonly property real pieceSize: 6 + Math.random() * 7
            // The piece's own time, 0 to 1 over what is left of the lifetime after its delay.
            readonly property real t: Math.max(0, Math.min(1, (overlay.elapsed - delay)
                                                              / (overlay.lifetime - delay)))

            width: isRibbon ? pieceSize * 0.45 : pieceSize
            height: isRibbon ? pieceSize * 2.2 : pieceSize
            radius: isRibbon ? width / 2 : 1.5
            color: overlay.colors[index % overlay.colors.length]
            opacity: t < 0.85 ? 1 : (1 - t) / 0.15
            x: startX + drift * t + sway * Math.sin(phase + t * swayCycles * Math.PI * 2)
            // Falling speeds up a little, as if caught by the air at first.
            y: startY + fall * t * (0.6 + 0.4 * t)
            rotation: tilt + spin * t
            transform: Scale {
                origin.x: piece.width / 2
                origin.y: piece.height / 2
                yScale: Math.cos(piece.phase + piece.t * piece.flipCycles * Math.PI * 2)
            }
        }
    }
}
