#!/usr/bin/python3
"""make bench: runs every benchmark and writes docs/performance.md with its plots.

Usage: make_report.py NATIVE_BUILD WINDOWS_BUILD OUT_MD [--seconds S] [--quick]
Each figure comes with the command behind it; every run records the load average at its start,
since the VM is shared with other builds.
"""
import argparse
import datetime
import json
import os
import platform
import re
import subprocess
import tempfile

import matplotlib
matplotlib.use('Agg')
import matplotlib.pyplot as plt  # noqa: E402

import runs  # noqa: E402

# name, format word, frames per cycle (1000 us) for the engine's ring blocks
NATIVE_FORMATS = [
    ('44.1k/2ch/16-bit', 0x0000000A00000202, 44),
    ('48k/2ch/32-bit', 0x0000000C00000802, 48),
    ('192k/8ch/32-bit', 0x0000002400000810, 192),
    ('384k/8ch/32-bit', 0x0000004400000810, 384),
    ('DSD128/2ch', 0x0000020202510002, 5644),
]
# name, ThredMode, the pacer's spin threshold (us), whether bursts switch the blocking mode
MODES = [
    ('default', 0x000, 0, True),
    ('SOCKETNOBLOCK', 0x008, 0, False),
    ('NOSHORTSLEEP', 0x002, 100, True),
    ('NOSLEEPFORCE', 0x800, 10 ** 9, True),
]
# name | settings | player options | sink options, for bench/report/wine-pacing.sh
PCM16_CAPS = 0x3F | 0x200 | (0x6 << 32) | (0x1F << 35)
WINE_CASES = [
    ('44.1k/2ch/32-bit', 'pcm32-2ch-44k||--channels 2 --rate 44100|', 44100, 2, 32),
    ('96k/2ch/16-bit', f'pcm16-2ch-96k|PCMRequest=16|--channels 2 --rate 96000|--pcm-caps {PCM16_CAPS}', 96000, 2, 16),
    ('192k/8ch/32-bit', 'pcm32-8ch-192k||--channels 8 --rate 192000|', 192000, 8, 32),
    ('DSD256/8ch', 'dsd256-8ch||--channels 8 --dsd --rate 11289600|', 11289600, 8, 1),
    ('384k/8ch/32-bit', 'pcm32-8ch-384k||--channels 8 --rate 384000|', 384000, 8, 32),
]


def fix_cycle(rate, channels, bits, pack_size=1428, cycle=1000):
    """The driver's default profile (Fix, one packet per cycle at most 1428 bytes): its cycle."""
    bps = rate * channels * bits // 8
    frame = channels * 4 if bits == 1 else channels * bits // 8   # DSD travels in 32-bit words
    while True:
        per = -(-bps * cycle * 103 // 100_000_000)  # ceil(bps / (1e6 / cycle) * 1.03)
        per = (per + frame - 1) // frame * frame
        if per < pack_size:
            return cycle
        cycle -= 1


def fmt(v, digits=0):
    return f'{v:,.{digits}f}' if isinstance(v, (int, float)) else str(v)


def machine():
    cpu = next((l.split(':', 1)[1].strip() for l in open('/proc/cpuinfo') if l.startswith('model name')), '?')
    return f'{cpu}, {os.cpu_count()} processors, {platform.system()} {platform.release()}'


# --- converters ---

def converters(build):
    cmd = [f'{build}/bench/format/bench_converters', '--benchmark_min_time=0.3', '--benchmark_format=json']
    load = runs.load_average()
    data = json.loads(subprocess.run(cmd, capture_output=True, text=True, check=True).stdout)
    rates = {}
    for b in data['benchmarks']:
        name, size = b['name'].split('/')
        rates.setdefault(name.replace('BM_', ''), {})[int(size)] = b['bytes_per_second'] / 1e9
    return {'command': ' '.join(cmd), 'load': load, 'rates': rates}


def converter_section(c, out_dir):
    rows = ['| Function | 4 KiB (GB/s) | 64 KiB (GB/s) | 64 KiB against memcpy |', '|---|---|---|---|']
    base = c['rates']['memcpy'][65536]
    for name, r in c['rates'].items():
        rows.append(f'| `{name}` | {r[4096]:.1f} | {r[65536]:.1f} | {r[65536] / base:.2f} |')
    names = list(c['rates'])
    fig, ax = plt.subplots(figsize=(8, 3.5))
    ax.barh(names, [c['rates'][n][65536] for n in names], color='tab:blue')
    ax.axvline(base / 2, color='tab:red', linestyle='--', label='half of memcpy')
    ax.set_xlabel('GB/s at 64 KiB')
    ax.invert_yaxis()
    ax.legend()
    fig.tight_layout()
    fig.savefig(os.path.join(out_dir, 'converters.png'), dpi=90)
    plt.close(fig)
    return rows


# --- pacing on loopback: the engine against the minimal pacer ---

def pacing(build, seconds, tmp):
    results = []
    for fname, word, frames in NATIVE_FORMATS:
        for mname, mode, spin, switch in MODES:
            logs = [os.path.join(tmp, f'{len(results)}-{who}.txt') for who in ('engine', 'pacer')]
            e = runs.engine(build, word, frames, mode, seconds, burst_log=logs[0])
            p = runs.pacer(build, word, e['cycle_us'], e['packets'], e['payload'], seconds, spin_below=spin,
                           switch_blocking=switch, burst_log=logs[1])
            results.append({'format': fname, 'mode': mname, 'engine': e, 'pacer': p, 'logs': logs})
    return results


def lateness_from_log(path, cycle):
    """Per-burst lateness against the sender's deadlines (the sink's rule), from a burst log."""
    late, deadline = [], None
    for line in open(path):
        start = float(line.split()[0])
        if deadline is None:
            deadline = start
        l = max(0.0, start - deadline)
        late.append(l)
        deadline = start + cycle if l >= cycle else min(deadline, start) + cycle
    return late


def pacing_section(res, out_dir):
    rows = ['| Stream | Thread mode | Packets × payload | Lateness p50 / p99 / max, worker (µs) | '
            'Same, minimal pacer (µs) | p99 ratio | Worker CPU (ms/s) | Pacer CPU (ms/s) | CPU ratio | Byte rate | Load |',
            '|---|---|---|---|---|---|---|---|---|---|---|']
    for r in res:
        e, p = r['engine'], r['pacer']
        eb, pb = e['sink']['bursts'], p['sink']['bursts']
        ratio = eb['lateness_p99_us'] / max(pb['lateness_p99_us'], 1.0)
        cpu = e['cpu_ms_per_s'] / max(p['cpu_ms_per_s'], 0.01)
        rows.append(f"| {r['format']} | {r['mode']} | {e['packets']} × {e['payload']:.0f} B | "
                    f"{eb['lateness_p50_us']:.0f} / {eb['lateness_p99_us']:.0f} / {eb['lateness_max_us']:.0f} | "
                    f"{pb['lateness_p50_us']:.0f} / {pb['lateness_p99_us']:.0f} / {pb['lateness_max_us']:.0f} | "
                    f"{ratio:.2f} | {e['cpu_ms_per_s']:.1f} | {p['cpu_ms_per_s']:.1f} | {cpu:.2f} | "
                    f"{e['sink']['rate_ratio']:.3f} | {e['load']:.1f} |")
    # Histograms of the default mode, worker against pacer.
    default = [r for r in res if r['mode'] == 'default']
    fig, axes = plt.subplots(1, len(default), figsize=(3.2 * len(default), 3), sharey=True)
    for ax, r in zip(axes, default):
        cycle = r['engine']['cycle_us']
        for log, label, color in ((r['logs'][0], 'worker', 'tab:blue'), (r['logs'][1], 'pacer', 'tab:orange')):
            late = lateness_from_log(log, cycle)
            ax.hist([min(l, 500) for l in late], bins=50, range=(0, 500), histtype='step', label=label, color=color,
                    log=True)
        ax.set_title(r['format'], fontsize=9)
        ax.set_xlabel('lateness µs (500+ at the edge)', fontsize=8)
    axes[0].legend(fontsize=8)
    fig.tight_layout()
    fig.savefig(os.path.join(out_dir, 'lateness.png'), dpi=90)
    plt.close(fig)
    # CPU per format.
    fig, ax = plt.subplots(figsize=(8, 3.2))
    names = [r['format'] for r in default]
    xs = range(len(names))
    ax.bar([x - 0.2 for x in xs], [r['engine']['cpu_ms_per_s'] for r in default], 0.4, label='worker')
    ax.bar([x + 0.2 for x in xs], [r['pacer']['cpu_ms_per_s'] for r in default], 0.4, label='minimal pacer')
    ax.set_xticks(list(xs), names, fontsize=8)
    ax.set_ylabel('CPU ms per s of audio')
    ax.legend()
    fig.tight_layout()
    fig.savefig(os.path.join(out_dir, 'cpu.png'), dpi=90)
    plt.close(fig)
    return rows


# --- the real DLL under Wine ---

def wine(native, windows, seconds, tmp, label='wine'):
    cases = os.path.join(tmp, 'wine-cases.txt')
    with open(cases, 'w') as f:
        for _, line, *_ in WINE_CASES:
            f.write(line + '\n')
    out = os.path.join(tmp, label)
    cmd = ['bench/report/wine-pacing.sh', native, windows, cases, out, str(seconds)]
    subprocess.run(cmd, capture_output=True, text=True, timeout=1800)
    results = []
    for name, line, rate, ch, bits in WINE_CASES:
        d = os.path.join(out, line.split('|')[0])
        try:
            report = json.load(open(os.path.join(d, 'report.json')))
            play = open(os.path.join(d, 'play.log')).read()
        except OSError:
            results.append({'name': name, 'missing': True})
            continue
        blocks = int(re.search(r'played:\s+(\d+) blocks', play).group(1))
        frames = int(re.search(r'buffer:\s+(\d+) frames', play).group(1))
        load = float(re.search(r'load ([\d.]+)', play).group(1))
        intervals = []
        starts = [float(l.split()[0]) for l in open(os.path.join(d, 'bursts.txt'))]
        intervals = [b - a for a, b in zip(starts, starts[1:])]
        due = seconds * (rate if bits != 1 else rate) / frames
        results.append({'name': name, 'report': report, 'blocks': blocks, 'due': due, 'load': load,
                        'cycle': fix_cycle(rate, ch, bits), 'intervals': intervals})
    return {'command': ' '.join(cmd), 'results': results}


# velmora-sink's largest burst by default (15000 bytes at an MTU of 1500): the most packets a
# catching-up burst may carry.
SINK_BURST_PACKETS = 10


def wine_ceiling(native, windows, wine_runs, seconds, tmp):
    """Wine's own limit for the formats that fell short: the minimal pacer's Windows build under
    Wine, on loopback, sending the same payloads in bursts of the sink's largest size as fast as
    it can (a cycle far shorter than a burst takes), as a share of the format's byte rate."""
    short = [r for r in wine_runs['results'] if not r.get('missing')
             and (r['report']['rate_ratio'] < 0.999 or r['blocks'] < 0.99 * r['due'])]
    if not short:
        return []
    env = dict(os.environ, WINEPREFIX=os.path.join(tmp, 'wine-ceiling-prefix'), WINEDEBUG='-all',
               WINEDLLOVERRIDES='mscoree,mshtml=')
    wine64 = '/usr/lib/wine/wine64'
    subprocess.run([wine64, 'wineboot', '--init'], env=env, capture_output=True, timeout=300)
    program = [wine64, os.path.join(windows, 'bench/pacer/bench_pacer.exe')]
    results = []
    for r in short:
        rep = r['report']
        payload = rep['payload_bytes'] // max(rep['packets_delivered'], 1) // 8 * 8
        try:
            p = runs.pacer(native, int(rep['format'], 16), 20, SINK_BURST_PACKETS, payload, seconds,
                           program=program, env=env)
        except (subprocess.SubprocessError, ValueError, OSError):
            results.append({'name': r['name'], 'missing': True})
            continue
        results.append({'name': r['name'], 'payload': payload, 'driver': rep['rate_ratio'],
                        'ceiling': p['sink']['byte_rate'] / rep['nominal_byte_rate'],
                        'cpu_ms_per_s': p['cpu_ms_per_s'], 'load': p['load'], 'command': p['command']})
    subprocess.run(['/usr/lib/wine/wineserver', '-k'], env=env, capture_output=True, timeout=60)
    return results


def ceiling_section(ceiling):
    if not ceiling:
        return ['Every format reached its full rate under Wine in this run: no ceiling measured.']
    rows = [f"`{next((c['command'] for c in ceiling if 'command' in c), '(failed)')}` (one line per format: "
            'its payload, bursts of the sink\'s largest size back to back)', '',
            '| Stream | Payload (bytes) | The driver: bytes / nominal | Minimal pacer under Wine, flat out: bytes / nominal | '
            'Pacer CPU (ms/s) | Load |', '|---|---|---|---|---|---|']
    for c in ceiling:
        if c.get('missing'):
            rows.append(f"| {c['name']} | run failed | | | | |")
            continue
        rows.append(f"| {c['name']} | {c['payload']} | {c['driver']:.3f} | {c['ceiling']:.3f} | "
                    f"{c['cpu_ms_per_s']:.0f} | {c['load']:.1f} |")
    return rows


def wine_section(w, out_dir, plot='wine-intervals.png'):
    rows = ['| Stream | Profile cycle (µs) | Mean burst interval (µs) | Bursts larger than usual | '
            'p99 deviation (µs) | Bytes delivered / nominal | Host blocks / due | Load |', '|---|---|---|---|---|---|---|---|']
    for r in w['results']:
        if r.get('missing'):
            rows.append(f"| {r['name']} | run failed | | | | | | |")
            continue
        b = r['report']['bursts']
        rows.append(f"| {r['name']} | {r['cycle']} | {b['interval_mean_us']:.0f} | {b['oversized']} of {b['count']} "
                    f"(usual {b['usual_packets']} packets) | {b['p99_deviation_us']:.0f} | {r['report']['rate_ratio']:.3f} | "
                    f"{r['blocks']} / {r['due']:.0f} | {r['load']:.1f} |")
    ok = [r for r in w['results'] if not r.get('missing')]
    if ok:
        fig, axes = plt.subplots(len(ok), 1, figsize=(8, 1.6 * len(ok)), sharex=True)
        for ax, r in zip(axes, ok):
            iv = r['intervals']
            ax.plot([i * r['cycle'] / 1e6 for i in range(len(iv))], iv, linewidth=0.4)
            ax.axhline(r['cycle'], color='tab:red', linewidth=0.6)
            ax.set_ylabel('µs', fontsize=8)
            ax.set_title(f"{r['name']}: burst intervals at the sink (red: the cycle)", fontsize=8)
            ax.set_ylim(0, max(4 * r['cycle'], 1))
        axes[-1].set_xlabel('stream time at the nominal cycle (s)')
        fig.tight_layout()
        fig.savefig(os.path.join(out_dir, plot), dpi=90)
        plt.close(fig)
    return rows


# --- a peer: JackTrip over the same veth pair ---

def arrivals(pcap):
    """Arrival times (us) of the captured datagrams that carry audio (the largest sizes)."""
    out = subprocess.run(['tshark', '-r', pcap, '-T', 'fields', '-e', 'frame.time_epoch', '-e', 'udp.length'],
                         capture_output=True, text=True).stdout.split('\n')
    rows = [(float(t) * 1e6, int(n)) for t, n in (l.split('\t') for l in out if '\t' in l) if n]
    if not rows:
        return []
    biggest = max(n for _, n in rows)
    return [t for t, n in rows if n >= biggest * 0.8]


def peer(native, seconds, tmp):
    out = os.path.join(tmp, 'peer')
    cmd = ['bench/report/peer-jacktrip.sh', native, out, str(seconds)]
    subprocess.run(cmd, capture_output=True, text=True, timeout=600)
    results = []
    for name, sender in (('JackTrip 1.7 (jackd dummy, 48 frames)', 'jacktrip'), ('Velmora (driver, velmora-play)', 'velmora')):
        d = os.path.join(out, sender)
        try:
            cpu = json.load(open(os.path.join(d, 'cpu.json')))
            t = arrivals(os.path.join(d, 'capture.pcapng'))
        except (OSError, ValueError):
            results.append({'name': name, 'missing': True})
            continue
        iv = [b - a for a, b in zip(t, t[1:])]
        dev = sorted(abs(i - 1000.0) for i in iv)
        q = lambda v, f: v[min(len(v) - 1, int(f * (len(v) - 1) + 0.5))] if v else 0
        span = (t[-1] - t[0]) / 1e6 if len(t) > 1 else 0
        results.append({'name': name, 'intervals': iv, 'packets_per_s': len(t) / span if span else 0,
                        'jitter_p50': q(dev, 0.5), 'jitter_p99': q(dev, 0.99), 'jitter_max': dev[-1] if dev else 0,
                        'sender_ms_per_s': cpu['sender_ticks'] * 1000.0 / cpu['ticks_per_s'] / cpu['seconds'],
                        'server_ms_per_s': cpu['server_ticks'] * 1000.0 / cpu['ticks_per_s'] / cpu['seconds'],
                        'load': cpu['load']})
    return {'command': ' '.join(cmd), 'results': results}


def peer_section(p, out_dir):
    rows = ['| Sender | Datagrams/s at the receiver | Inter-arrival deviation from 1000 µs p50 / p99 / max (µs) | '
            'Sender CPU (ms/s) | JACK server CPU (ms/s) | Load |', '|---|---|---|---|---|---|']
    for r in p['results']:
        if r.get('missing'):
            rows.append(f"| {r['name']} | run failed | | | | |")
            continue
        rows.append(f"| {r['name']} | {r['packets_per_s']:.0f} | {r['jitter_p50']:.0f} / {r['jitter_p99']:.0f} / "
                    f"{r['jitter_max']:.0f} | {r['sender_ms_per_s']:.1f} | "
                    f"{r['server_ms_per_s']:.1f} | {r['load']:.1f} |")
    ok = [r for r in p['results'] if not r.get('missing') and r['intervals']]
    if ok:
        fig, axes = plt.subplots(len(ok), 1, figsize=(8, 1.8 * len(ok)), sharex=True)
        for ax, r in zip(axes if len(ok) > 1 else [axes], ok):
            ax.plot([i / 1000 for i in range(len(r['intervals']))], r['intervals'], linewidth=0.4)
            ax.set_ylim(0, 4000)
            ax.set_ylabel('µs', fontsize=8)
            ax.set_title(f"{r['name']}: inter-arrival at the receiver", fontsize=8)
        fig.tight_layout()
        fig.savefig(os.path.join(out_dir, 'peer-jitter.png'), dpi=90)
        plt.close(fig)
    return rows


# --- the goals, each judged from the figures of this run ---

def full_rate_shortfalls(wine_runs):
    """The Wine cases short of their byte rate or host block rate, named with their figures."""
    res = wine_runs['results']
    short = [r['name'] for r in res if r.get('missing')]
    short += [f"{r['name']} ({r['report']['rate_ratio']:.3f} of its bytes, {r['blocks']} of {r['due']:.0f} blocks)"
              for r in res if not r.get('missing')
              and (r['report']['rate_ratio'] < 0.999 or r['blocks'] < 0.99 * r['due'])]
    return short


def goals_section(conv, pace, peer_runs, wine_runs, plain_runs, ceiling):
    rows = ['| Goal | Met | From this run |', '|---|---|---|']

    def row(goal, met, text):
        rows.append(f"| {goal} | {'yes' if met else '**no**'} | {text} |")

    off = []
    for r in pace:
        eb, pb = r['engine']['sink']['bursts'], r['pacer']['sink']['bursts']
        late = eb['lateness_p99_us'] / max(pb['lateness_p99_us'], 1.0)
        cpu = r['engine']['cpu_ms_per_s'] / max(r['pacer']['cpu_ms_per_s'], 0.01)
        if late > 1.25 or cpu > 1.5:
            off.append(f"{r['format']} {r['mode']} (p99 {late:.2f}×, CPU {cpu:.2f}×)")
    row('1. Within 1.25× of the minimal pacer\'s p99 lateness and 1.5× of its CPU', not off,
        f"{len(pace) - len(off)} of {len(pace)} cases within both" + (': outside: ' + '; '.join(off) if off else ''))

    if wine_runs:
        res = wine_runs['results']
        short = full_rate_shortfalls(wine_runs)
        limits = [f"{c['name']} {c['ceiling']:.3f}" for c in ceiling if not c.get('missing')]
        row('2a. Under Wine every format at its full byte rate (≥ 0.999) and host block rate', not short,
            f"{len(res) - len(short)} of {len(res)} formats" + (': short: ' + '; '.join(short) if short else '')
            + ('; Wine\'s own ceiling (the minimal pacer flat out): ' + ', '.join(limits) if limits else ''))
        first = res[0] if res and not res[0].get('missing') else None
        if first:
            b = first['report']['bursts']
            off = abs(b['interval_mean_us'] - first['cycle']) / first['cycle']
            met = off <= 0.005 and b['oversized'] == 0 and b['p99_deviation_us'] < 250
            row('2b. Under Wine at 44.1 kHz/2 ch: mean interval within 0.5 % of the cycle, no doubled burst, '
                'p99 deviation < 250 µs', met,
                f"mean {b['interval_mean_us']:.0f} µs against {first['cycle']} ({off * 100:.1f} %), "
                f"{b['oversized']} larger bursts, p99 deviation {b['p99_deviation_us']:.0f} µs")
    else:
        row('2. Under Wine', False, 'not run (no Windows build)')
    if plain_runs:
        res = plain_runs['results']
        short = full_rate_shortfalls(plain_runs)
        row('2c. The same figures for a build that cannot use the precise waits (reported, not a target)', True,
            f"{len(res) - len(short)} of {len(res)} formats at full rate with the ordinary waits"
            + (': short: ' + '; '.join(short) if short else ''))
    else:
        row('2c. The same figures for a build that cannot use the precise waits', False,
            'not run (no -DVELMORA_PLAIN_WAITS=ON Windows build)')

    peers = {r['name'].split()[0]: r for r in peer_runs['results'] if not r.get('missing')}
    if 'JackTrip' in peers and 'Velmora' in peers:
        j, v = peers['JackTrip'], peers['Velmora']
        met = v['sender_ms_per_s'] < j['sender_ms_per_s'] and v['jitter_p99'] < j['jitter_p99']
        row('3. Less sender CPU and inter-arrival jitter than JackTrip', met,
            f"CPU {v['sender_ms_per_s']:.1f} against {j['sender_ms_per_s']:.1f} ms/s (JackTrip without its JACK "
            f"server), jitter p99 {v['jitter_p99']:.0f} against {j['jitter_p99']:.0f} µs")
    else:
        row('3. Less sender CPU and inter-arrival jitter than JackTrip', False, 'a run failed')
    row('4. End-to-end latency within one host block of the prediction', False, 'not measured')
    row('5. Throughput ceiling for 60 s', False, 'not measured')

    rates = conv['rates']
    base = rates['memcpy'][65536]
    slow = [f"{n} {r[65536] / base:.2f}×" for n, r in rates.items() if 'Reverse' in n and r[65536] < base / 2]
    row('6. Bit-reversing converters at least half of memcpy (64 KiB)', not slow,
        'all at least half' if not slow else 'below half: ' + ', '.join(slow))
    row('6b. fillBlock per byte against memcpy', False, 'no benchmark yet')
    return rows


def main():
    ap = argparse.ArgumentParser()
    ap.add_argument('native')
    ap.add_argument('windows')
    ap.add_argument('out')
    ap.add_argument('--seconds', type=float, default=3.0)
    ap.add_argument('--plain-windows', default='', help='a Windows build with the ordinary waits only')
    args = ap.parse_args()
    out_dir = os.path.dirname(os.path.abspath(args.out))
    img_dir = os.path.join(out_dir, 'performance')
    os.makedirs(img_dir, exist_ok=True)
    started = datetime.datetime.now(datetime.timezone.utc)
    with tempfile.TemporaryDirectory() as tmp:
        conv = converters(args.native)
        pace = pacing(args.native, args.seconds, tmp)
        peer_runs = peer(args.native, max(5, args.seconds), tmp)
        wine_runs = wine(args.native, args.windows, max(4, args.seconds), tmp) if os.path.isdir(args.windows) else None
        ceiling = wine_ceiling(args.native, args.windows, wine_runs, max(4, args.seconds), tmp) if wine_runs else []
        plain_runs = (wine(args.native, args.plain_windows, max(4, args.seconds), tmp, 'wine-plain')
                      if args.plain_windows and os.path.isdir(args.plain_windows) else None)
        sections = {
            'converters': converter_section(conv, img_dir),
            'pacing': pacing_section(pace, img_dir),
            'peer': peer_section(peer_runs, img_dir),
            'wine': wine_section(wine_runs, img_dir) if wine_runs else ['No Windows build: not run.'],
            'ceiling': ceiling_section(ceiling),
            'plain': (wine_section(plain_runs, img_dir, 'wine-plain-intervals.png') if plain_runs
                      else ['No Windows build with the ordinary waits: not run.']),
        }
    text = open(os.path.join(os.path.dirname(__file__), 'performance.md.in')).read()
    text = text.replace('@GOALS@', '\n'.join(goals_section(conv, pace, peer_runs, wine_runs, plain_runs, ceiling)))
    text = text.replace('@MACHINE@', machine())
    text = text.replace('@DATE@', started.strftime('%Y-%m-%d %H:%M UTC'))
    text = text.replace('@CONVERTERS_COMMAND@', conv['command']).replace('@CONVERTERS_LOAD@', f"{conv['load']:.1f}")
    text = text.replace('@CONVERTERS@', '\n'.join(sections['converters']))
    text = text.replace('@PACING_ENGINE_COMMAND@', pace[0]['engine']['command'])
    text = text.replace('@PACING_PACER_COMMAND@', pace[0]['pacer']['command'])
    text = text.replace('@PACING@', '\n'.join(sections['pacing']))
    text = text.replace('@PEER_COMMAND@', peer_runs['command']).replace('@PEER@', '\n'.join(sections['peer']))
    text = text.replace('@WINE_COMMAND@', wine_runs['command'] if wine_runs else '(not run)')
    text = text.replace('@WINE@', '\n'.join(sections['wine']))
    text = text.replace('@WINE_CEILING@', '\n'.join(sections['ceiling']))
    text = text.replace('@WINE_PLAIN_COMMAND@', plain_runs['command'] if plain_runs else '(not run)')
    text = text.replace('@WINE_PLAIN@', '\n'.join(sections['plain']))
    open(args.out, 'w').write(text)
    json.dump({'converters': conv, 'pacing': [{k: v for k, v in r.items() if k != 'logs'} for r in pace],
               'peer': [{k: v for k, v in r.items() if k != 'intervals'} for r in peer_runs['results']],
               'wine': [{k: v for k, v in r.items() if k != 'intervals'} for r in (wine_runs or {}).get('results', [])],
               'wine_ceiling': ceiling,
               'wine_plain': [{k: v for k, v in r.items() if k != 'intervals'}
                              for r in (plain_runs or {}).get('results', [])]},
              open(os.path.join(img_dir, 'results.json'), 'w'), indent=1, default=str)


if __name__ == '__main__':
    main()
