#!/usr/bin/python3
"""make bench: runs every benchmark and writes docs/performance.md with its plots.

Usage: make_report.py NATIVE_BUILD WINDOWS_BUILD OUT_MD [--seconds S] [--ceiling-seconds S]
                      [--only PARTS] [--latency-soak SECONDS]
Each figure comes with the command behind it; every run records the load average at its start,
since the VM is shared with other builds. --only runs some parts (of PARTS_ORDER) and rewrites
just their sections and goal rows in an existing OUT_MD; --latency-soak plays the lowest-latency
settings for that long and records the result in docs/performance/latency-soak-FRAMESxRING.json.
"""
import argparse
import datetime
import json
import os
import platform
import re
import statistics
import subprocess
import tempfile

import matplotlib
matplotlib.use('Agg')
import matplotlib.pyplot as plt  # noqa: E402

import runs  # noqa: E402

# name, format word, frames per cycle (1000 us) for the engine's ring blocks
# name, format word, frames per cycle (the benchmark's ring block), the driver's default host
# buffer in the same frames (ASIOBufferSizePre 512; DSD counts 32 samples a frame)
NATIVE_FORMATS = [
    ('44.1k/2ch/16-bit', 0x0000000A00000202, 44, 512),
    ('48k/2ch/32-bit', 0x0000000C00000802, 48, 512),
    ('192k/8ch/32-bit', 0x0000002400000810, 192, 512),
    ('384k/8ch/32-bit', 0x0000004400000810, 384, 512),
    ('DSD128/2ch', 0x0000020202510002, 5644, 512 * 32),
]
# name, ThredMode, the pacer's spin threshold (us), whether bursts switch the blocking mode
MODES = [
    ('default', 0x000, 0, True),
    ('SOCKETNOBLOCK', 0x008, 0, False),
    ('NOSHORTSLEEP', 0x002, 100, True),
    ('NOSLEEPFORCE', 0x800, 10 ** 9, True),
]
# name | settings | player options | sink options, for bench/report/play-cases.sh
PCM16_CAPS = 0x3F | 0x200 | (0x6 << 32) | (0x1F << 35)
# The counter pattern: under Wine the test host's own 8-channel DSD sine costs a whole core and
# slowed its callbacks below the block rate, which would measure the host, not the driver.
WINE_CASES = [
    ('44.1k/2ch/32-bit', 'pcm32-2ch-44k||--channels 2 --rate 44100 --pattern counter|', 44100, 2, 32),
    ('96k/2ch/16-bit', f'pcm16-2ch-96k|PCMRequest=16|--channels 2 --rate 96000 --pattern counter|--pcm-caps {PCM16_CAPS}',
     96000, 2, 16),
    ('192k/8ch/32-bit', 'pcm32-8ch-192k||--channels 8 --rate 192000 --pattern counter|', 192000, 8, 32),
    ('DSD256/8ch', 'dsd256-8ch||--channels 8 --dsd --rate 11289600 --pattern counter|', 11289600, 8, 1),
    ('384k/8ch/32-bit', 'pcm32-8ch-384k||--channels 8 --rate 384000 --pattern counter|', 384000, 8, 32),
]


# End-to-end latency, natively: 48 kHz/2 ch/32-bit with default settings but the host buffer
# (frames) and the ring (SyncBufferCount); every marked block's first byte timed at the sink.
LATENCY_CASES = [(512, 6), (256, 4), (128, 3), (64, 3), (32, 4), (32, 3)]
LATENCY_RATE = 48000
# The settings make bench-latency-soak plays by default: the default host buffer and ring (no
# smaller setting has played 10 minutes clean on the shared machine yet).
SOAK_CASE = (512, 6)
# The largest formats the sink takes: 8 channels at its highest PCM rate in 64-bit float, DSD512/8 ch.
# Settings: several packets per cycle (Fragment=Optimize), host blocks of about 5 ms and a ring of 8
# of them, and a sink that takes bursts of up to 60,000 bytes; the counter pattern, so that the
# host's signal costs little beside the driver.
CEILING_SETTINGS = 'Debug=enable;Fragment=Optimize;SyncBufferCount=8'
CEILING_CASES = [
    ('768k/8ch/64-bit float', f'pcm768-8ch-f64|{CEILING_SETTINGS};PCMRequest=64|--channels 8 --rate 768000 '
     '--buffer 4096 --pattern counter|--max-burst 60000', 768000, 8, 64),
    ('DSD512/8ch', f'dsd512-8ch|{CEILING_SETTINGS}|--channels 8 --dsd --rate 22579200 --buffer 131072 '
     '--pattern counter|--max-burst 60000', 22579200, 8, 1),
]
SOURCE_ROOT = os.path.realpath(os.path.join(os.path.dirname(__file__), '..', '..'))
PARTS_ORDER = ['converters', 'fillblock', 'pacing', 'peer', 'wine', 'latency', 'ceiling']


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


def table(header, results, render, name=lambda r: r['name']):
    """A markdown table: one row per result, or the result's name and "run failed"."""
    cols = header.count('|') - 1
    rows = [header, '|' + '---|' * cols]
    for r in results:
        rows.append(f"| {name(r)} | run failed |" + ' |' * (cols - 2) if r.get('missing') else render(r))
    return rows


def machine():
    cpu = next((l.split(':', 1)[1].strip() for l in open('/proc/cpuinfo') if l.startswith('model name')), '?')
    return f'{cpu}, {os.cpu_count()} processors, {platform.system()} {platform.release()}'


# --- converters ---

BENCHMARK_REPETITIONS = 5


def google_benchmark(build, program):
    """The command, the load at its start and the benchmarks of a Google Benchmark program: each
    the median of its repetitions, which run interleaved with the other benchmarks' so that a
    busy moment of the machine does not fall on one benchmark alone."""
    cmd = [f'{build}/bench/format/{program}', '--benchmark_min_time=0.3', '--benchmark_format=json',
           f'--benchmark_repetitions={BENCHMARK_REPETITIONS}', '--benchmark_enable_random_interleaving=true',
           '--benchmark_report_aggregates_only=true']
    load = runs.load_average()
    data = json.loads(subprocess.run(cmd, capture_output=True, text=True, check=True).stdout)
    medians = sorted((dict(b, name=b['run_name']) for b in data['benchmarks'] if b.get('aggregate_name') == 'median'),
                     key=lambda b: (b['family_index'], b['per_family_instance_index']))   # as registered
    return ' '.join(cmd), load, medians


def converters(build):
    cmd, load, benchmarks = google_benchmark(build, 'bench_converters')
    rates = {}
    for b in benchmarks:
        name, size = b['name'].split('/')
        rates.setdefault(name.replace('BM_', ''), {})[int(size)] = b['bytes_per_second'] / 1e9
    return {'command': cmd, 'load': load, 'rates': rates}


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


# --- the per-block exchange ---

def block_exchange(build):
    cmd, load, benchmarks = google_benchmark(build, 'bench_block_exchange')
    cases = {}
    for b in benchmarks:
        fn, case = b['name'].replace('BM_', '').split('/')
        c = cases.setdefault(case, {})
        c[fn] = b['bytes_per_second'] / 1e9
        if 'block_bytes' in b:
            c['bytes'] = int(b['block_bytes'])
    return {'command': cmd, 'load': load, 'cases': cases}


def fillblock_section(f):
    rows = ['| Host block (format, channels, frames) | Block bytes | `fillBlock` (GB/s) | `memcpy` (GB/s) | '
            '`fillBlock` against `memcpy` |', '|---|---|---|---|---|']
    for name, c in f['cases'].items():
        rows.append(f"| {name.replace('_', ' ')} | {c.get('bytes', 0):,} | {c['fillBlock']:.1f} | {c['memcpy']:.1f} | "
                    f"{c['fillBlock'] / c['memcpy']:.2f} |")
    return rows


# --- pacing on loopback: the engine against the minimal pacer ---

# Rounds per pacing case, the worker and the pacer alternating. One 3 s run's p99 is the 30th
# latest burst of 3,000 and swings with a single hiccup of this VM (the same case gave ratios
# from 0.3× to 12× in two runs), so each figure is the median of its rounds.
PACING_ROUNDS = 3


def pacing(build, seconds, tmp):
    results = []
    for fname, word, frames, host_buffer in NATIVE_FORMATS:
        for mname, mode, spin, switch in MODES:
            case = {'format': fname, 'mode': mname, 'rounds': [], 'logs': []}
            for n in range(PACING_ROUNDS):
                logs = [os.path.join(tmp, f'{len(results)}-{n}-{who}.txt') for who in ('engine', 'pacer')]
                e = runs.engine(build, word, frames, mode, seconds, burst_log=logs[0])
                p = runs.pacer(build, word, e['cycle_us'], e['packets'], e['payload'], seconds, spin_below=spin,
                               switch_blocking=switch, burst_log=logs[1])
                one = {'engine': e, 'pacer': p}
                if mname == 'default':
                    # The same with the ring block hosts get by default: the buffer worker is
                    # woken once per host buffer rather than once per cycle.
                    one['host_buffer'] = runs.engine(build, word, host_buffer, mode, seconds)
                case['rounds'].append(one)
                case['logs'].append(logs)
            first = case['rounds'][0]['engine']
            case.update(packets=first['packets'], payload=first['payload'], cycle_us=first['cycle_us'])
            case['worker'] = sender_figures([r['engine'] for r in case['rounds']])
            case['limit'] = sender_figures([r['pacer'] for r in case['rounds']])
            if mname == 'default':
                case['host_buffer'] = {'frames': host_buffer,
                                       'worker': sender_figures([r['host_buffer'] for r in case['rounds']])}
            results.append(case)
    return results


def sender_figures(rounds):
    """One sender's figures over a case's rounds: the median of each, the largest maximum, the
    lowest byte rate and the highest load."""
    bursts = [r['sink']['bursts'] for r in rounds]
    med = lambda key: statistics.median(b[key] for b in bursts)
    return {'p50': med('lateness_p50_us'), 'p99': med('lateness_p99_us'),
            'p99_rounds': [b['lateness_p99_us'] for b in bursts],
            'max': max(b['lateness_max_us'] for b in bursts),
            'cpu': statistics.median(r['cpu_ms_per_s'] for r in rounds),
            'rate': min(r['sink']['rate_ratio'] for r in rounds), 'load': max(r['load'] for r in rounds)}


def pacing_ratios(case):
    """The judged ratios of a case: worker against pacer, p99 lateness and CPU."""
    w, p = case['worker'], case['limit']
    return w['p99'] / max(p['p99'], 1.0), w['cpu'] / max(p['cpu'], 0.01)


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
        w, p = r['worker'], r['limit']
        late, cpu = pacing_ratios(r)
        rows.append(f"| {r['format']} | {r['mode']} | {r['packets']} × {r['payload']:.0f} B | "
                    f"{w['p50']:.0f} / {w['p99']:.0f} / {w['max']:.0f} | "
                    f"{p['p50']:.0f} / {p['p99']:.0f} / {p['max']:.0f} | "
                    f"{late:.2f} | {w['cpu']:.1f} | {p['cpu']:.1f} | {cpu:.2f} | "
                    f"{w['rate']:.3f} | {w['load']:.1f} |")
    rows += ['', 'The p99 lateness of each round, worker against pacer (µs), to show the spread:', '',
             '| Stream | Thread mode | Worker | Pacer |', '|---|---|---|---|']
    for r in res:
        rows.append(f"| {r['format']} | {r['mode']} | {', '.join(f'{v:.0f}' for v in r['worker']['p99_rounds'])} | "
                    f"{', '.join(f'{v:.0f}' for v in r['limit']['p99_rounds'])} |")
    rows += ['', 'The default mode again with ring blocks of the host buffer the driver offers by default '
             '(512 frames, for DSD 512 × 32 samples) instead of one cycle, against the same pacer rounds:', '',
             '| Stream | Ring block (frames) | Worker CPU (ms/s) | Pacer CPU (ms/s) | CPU ratio | '
             'Worker CPU with one-cycle blocks (ms/s) | Load |', '|---|---|---|---|---|---|---|']
    for r in res:
        if 'host_buffer' in r:
            h, p = r['host_buffer']['worker'], r['limit']
            rows.append(f"| {r['format']} | {r['host_buffer']['frames']} | {h['cpu']:.1f} | "
                        f"{p['cpu']:.1f} | {h['cpu'] / max(p['cpu'], 0.01):.2f} | "
                        f"{r['worker']['cpu']:.1f} | {h['load']:.1f} |")
    # Histograms of the default mode, worker against pacer.
    default = [r for r in res if r['mode'] == 'default']
    fig, axes = plt.subplots(1, len(default), figsize=(3.2 * len(default), 3), sharey=True, squeeze=False)
    for ax, r in zip(axes[0], default):
        cycle = r['cycle_us']
        for who, label, color in ((0, 'worker', 'tab:blue'), (1, 'pacer', 'tab:orange')):
            late = [l for logs in r['logs'] for l in lateness_from_log(logs[who], cycle)]
            ax.hist([min(l, 500) for l in late], bins=50, range=(0, 500), histtype='step', label=label, color=color,
                    log=True)
        ax.set_title(r['format'], fontsize=9)
        ax.set_xlabel('lateness µs (500+ at the edge)', fontsize=8)
    axes[0][0].legend(fontsize=8)
    fig.tight_layout()
    fig.savefig(os.path.join(out_dir, 'lateness.png'), dpi=90)
    plt.close(fig)
    # CPU per format.
    fig, ax = plt.subplots(figsize=(8, 3.2))
    names = [r['format'] for r in default]
    xs = range(len(names))
    ax.bar([x - 0.2 for x in xs], [r['worker']['cpu'] for r in default], 0.4, label='worker')
    ax.bar([x + 0.2 for x in xs], [r['limit']['cpu'] for r in default], 0.4, label='minimal pacer')
    ax.set_xticks(list(xs), names, fontsize=8)
    ax.set_ylabel('CPU ms per s of audio')
    ax.legend()
    fig.tight_layout()
    fig.savefig(os.path.join(out_dir, 'cpu.png'), dpi=90)
    plt.close(fig)
    return rows


# --- the real DLL under Wine ---

def play_cases(mode, native, windows, lines, seconds, tmp, tag):
    """Runs bench/report/play-cases.sh for case lines; the folder of each case's results."""
    cases = os.path.join(tmp, f'{tag}-cases.txt')
    with open(cases, 'w') as f:
        f.write('\n'.join(lines) + '\n')
    out = os.path.join(tmp, tag)
    cmd = ['bench/report/play-cases.sh', mode, native, windows, cases, out, str(int(seconds))]
    subprocess.run(cmd, capture_output=True, text=True, timeout=(int(seconds) + 90) * len(lines) + 300)
    return ' '.join(cmd), [os.path.join(out, line.split('|')[0]) for line in lines]


def played(d):
    """What the player printed and the sink reported for one case; None when the run failed."""
    try:
        report = json.load(open(os.path.join(d, 'report.json')))
        play = open(os.path.join(d, 'play.log')).read()
        cpu = json.load(open(os.path.join(d, 'cpu.json')))
    except (OSError, ValueError):
        return None
    number = lambda pattern: int(m.group(1)) if (m := re.search(pattern, play)) else None
    # The host's calls after its first, and the time from the first to the last: the block rate
    # once the stream runs, judged like the sink's byte rate (first to last packet).
    first = re.search(r'first call:\s+([\d.]+) ms after start; (\d+) more in ([\d.]+) s', play)
    return {'report': report, 'cpu': cpu, 'blocks': number(r'played:\s+(\d+) blocks'),
            'first_call_ms': float(first.group(1)) if first else None,
            'calls_after_first': int(first.group(2)) if first else None,
            'calls_span_s': float(first.group(3)) if first else None,
            'frames': number(r'buffer:\s+(\d+) frames'), 'underruns': number(r'underruns:\s+(\d+)'),
            'load': float(re.search(r'load ([\d.]+)', play).group(1)) if 'load ' in play else 0.0}


def run_cases(mode, native, windows, cases, seconds, tmp, tag, measure):
    """Plays cases (name, case line, ...) and measures each that ran: measure(case, folder, played)."""
    command, dirs = play_cases(mode, native, windows, [c[1] for c in cases], seconds, tmp, tag)
    results = []
    for case, d in zip(cases, dirs):
        p = played(d)
        results.append({'name': case[0], 'missing': True} if not p or p['blocks'] is None else measure(case, d, p))
    return {'command': command, 'seconds': seconds, 'results': results}


# Rounds of the Wine cases, each with a Wine server of its own. Under Wine the largest formats
# stream at the edge of what its server allows, and one round's byte rate at 384 kHz/8 ch read
# 1.005, 1.004 and 0.889 in three rounds on an idle machine; the median round is judged.
WINE_ROUNDS = 3


def wine(native, windows, seconds, tmp, label='wine'):
    def measure(case, d, p):
        name, _, rate, ch, bits = case
        span_due = (p['calls_span_s'] or 0) * rate / p['frames']
        intervals = burst_intervals(os.path.join(d, 'bursts.txt'))
        return {'name': name, 'report': p['report'], 'blocks': p['blocks'], 'due': seconds * rate / p['frames'],
                'first_call_ms': p['first_call_ms'],
                'block_rate': p['calls_after_first'] / span_due if span_due > 0 else 0.0,
                'load': p['load'], 'cycle': fix_cycle(rate, ch, bits), 'intervals': intervals,
                'late': late_intervals(intervals, fix_cycle(rate, ch, bits))}
    rounds = [run_cases('wine', native, windows, WINE_CASES, seconds, tmp, f'{label}-{n}', measure)
              for n in range(WINE_ROUNDS)]
    results = []
    for case_rounds in zip(*(r['results'] for r in rounds)):
        # The round with the median rate (the lower of bytes and host blocks) stands for the case.
        rate = lambda r: 0.0 if r.get('missing') else min(r['report']['rate_ratio'], r['block_rate'])
        middle = dict(sorted(case_rounds, key=rate)[len(case_rounds) // 2])
        middle['round_rates'] = [None if r.get('missing') else r['report']['rate_ratio'] for r in case_rounds]
        results.append(middle)
    return {'command': rounds[0]['command'], 'seconds': seconds, 'results': results}


# velmora-sink's largest burst by default (15000 bytes at an MTU of 1500): the most packets a
# catching-up burst may carry.
SINK_BURST_PACKETS = 10


def pacer_under_wine(windows, tmp, runs_with):
    """runs_with(program, env) with the minimal pacer's Windows build under Wine in a prefix of
    its own; the Wine server is stopped afterwards."""
    env = dict(os.environ, WINEPREFIX=os.path.join(tmp, 'wine-pacer-prefix'), WINEDEBUG='-all',
               WINEDLLOVERRIDES='mscoree,mshtml=')
    wine64 = '/usr/lib/wine/wine64'
    subprocess.run([wine64, 'wineboot', '--init'], env=env, capture_output=True, timeout=300)
    try:
        return runs_with([wine64, os.path.join(windows, 'bench/pacer/bench_pacer.exe')], env)
    finally:
        subprocess.run([os.path.join(SOURCE_ROOT, 'scripts/wine-stop.sh'), env['WINEPREFIX']], timeout=60)


def payload_of(report):
    """The payload per packet a sink report shows, rounded down to whole 8-byte steps."""
    return report['payload_bytes'] // max(report['packets_delivered'], 1) // 8 * 8


def burst_intervals(log):
    """The intervals (us) between the bursts of a sink's burst log (one burst per line, its start first)."""
    starts = [float(l.split()[0]) for l in open(log) if l[:1].isdigit()]
    return [b - a for a, b in zip(starts, starts[1:])]


def late_intervals(intervals, cycle):
    """Intervals of more than one and a half cycles: the bursts that came a cycle late."""
    return sum(1 for i in intervals if i > 1.5 * cycle)


def wine_paced(native, windows, wine_runs, seconds, tmp):
    """Wine's own limit at the first case's pace (44.1 kHz/2 ch, one packet per 1000 us): the
    minimal pacer under Wine on loopback at the same cycle, packets and payload, measured at the
    sink as the driver is."""
    first = wine_runs['results'][0] if wine_runs['results'] else None
    if not first or first.get('missing'):
        return None
    rep, log = first['report'], os.path.join(tmp, 'wine-paced-bursts.txt')

    def run(program, env):
        return runs.pacer(native, int(rep['format'], 16), first['cycle'], rep['bursts']['usual_packets'],
                          payload_of(rep), seconds, burst_log=log, program=program, env=env)
    try:
        p = pacer_under_wine(windows, tmp, run)
        intervals = burst_intervals(log)
    except (subprocess.SubprocessError, ValueError, OSError):
        return {'name': first['name'], 'missing': True}
    return {'name': first['name'], 'cycle': first['cycle'], 'bursts': p['sink']['bursts'],
            'late': late_intervals(intervals, first['cycle']), 'driver_late': first['late'],
            'wait_chosen': p.get('wait_chosen', p['wait']), 'wait': p['wait'],
            'cpu_ms_per_s': p['cpu_ms_per_s'], 'load': p['load'], 'command': p['command']}


def wine_paced_section(paced):
    if not paced:
        return ['Not run (no Windows build, or the first case did not play).']
    if paced.get('missing'):
        return [f"The minimal pacer under Wine at {paced['name']}'s pace: run failed."]
    b = paced['bursts']
    return [f"`{paced['command']}`", '',
            '| Stream | Cycle (µs) | Mean interval (µs) | Intervals over 1.5 cycles: pacer / driver | '
            'p99 deviation (µs) | Wait chosen / at the end | Pacer CPU (ms/s) | Load |',
            '|---|---|---|---|---|---|---|---|',
            f"| {paced['name']} | {paced['cycle']} | {b['interval_mean_us']:.0f} | {paced['late']} of {b['count']} / "
            f"{paced['driver_late']} | {b['p99_deviation_us']:.0f} | {paced['wait_chosen']} / {paced['wait']} | "
            f"{paced['cpu_ms_per_s']:.0f} | {paced['load']:.1f} |"]


def wine_ceiling(native, windows, wine_runs, seconds, tmp):
    """Wine's own limit for the formats that fell short: the minimal pacer's Windows build under
    Wine, on loopback, sending the same payloads in bursts of the sink's largest size as fast as
    it can (a cycle far shorter than a burst takes), as a share of the format's byte rate."""
    short = [r for r in wine_runs['results'] if not r.get('missing') and below_full_rate(r)]
    if not short:
        return []
    return pacer_under_wine(windows, tmp, lambda program, env: [ceiling_of(native, r, seconds, program, env)
                                                                for r in short])


def ceiling_of(native, r, seconds, program, env):
    """One format's ceiling: its payload in bursts of the sink's largest size, back to back."""
    rep = r['report']
    payload = payload_of(rep)
    try:
        p = runs.pacer(native, int(rep['format'], 16), 20, SINK_BURST_PACKETS, payload, seconds,
                       program=program, env=env)
    except (subprocess.SubprocessError, ValueError, OSError):
        return {'name': r['name'], 'missing': True}
    return {'name': r['name'], 'payload': payload, 'driver': rep['rate_ratio'],
            'ceiling': p['sink']['byte_rate'] / rep['nominal_byte_rate'],
            'cpu_ms_per_s': p['cpu_ms_per_s'], 'load': p['load'], 'command': p['command']}


def wine_ceiling_section(ceiling):
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
    def render(r):
        b = r['report']['bursts']
        first = '–' if r['first_call_ms'] is None else f"{r['first_call_ms']:.0f}"
        rounds = ', '.join('–' if v is None else f'{v:.3f}' for v in r.get('round_rates', []))
        return (f"| {r['name']} | {r['cycle']} | {b['interval_mean_us']:.0f} | {b['oversized']} of {b['count']} "
                f"(usual {b['usual_packets']} packets) | {b['p99_deviation_us']:.0f} | {r['report']['rate_ratio']:.3f} | "
                f"{rounds} | "
                f"{r['block_rate']:.3f} | {first} | {r['blocks']} / {r['due']:.0f} | {r['load']:.1f} |")
    rows = table('| Stream | Profile cycle (µs) | Mean burst interval (µs) | Bursts larger than usual | '
                 'p99 deviation (µs) | Bytes delivered / nominal | Bytes / nominal in each round | Host block rate / nominal | First call after start (ms) '
                 '| Host blocks / due in the whole run | Load |', w['results'], render)
    ok = [r for r in w['results'] if not r.get('missing')]
    if ok:
        fig, axes = plt.subplots(len(ok), 1, figsize=(8, 1.6 * len(ok)), sharex=True, squeeze=False)
        axes = axes[:, 0]
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
    rows = table('| Sender | Datagrams/s at the receiver | Inter-arrival deviation from 1000 µs p50 / p99 / max (µs) | '
                 'Sender CPU (ms/s) | JACK server CPU (ms/s) | Load |', p['results'],
                 lambda r: f"| {r['name']} | {r['packets_per_s']:.0f} | {r['jitter_p50']:.0f} / {r['jitter_p99']:.0f} / "
                           f"{r['jitter_max']:.0f} | {r['sender_ms_per_s']:.1f} | "
                           f"{r['server_ms_per_s']:.1f} | {r['load']:.1f} |")
    ok = [r for r in p['results'] if not r.get('missing') and r['intervals']]
    if ok:
        fig, axes = plt.subplots(len(ok), 1, figsize=(8, 1.8 * len(ok)), sharex=True, squeeze=False)
        for ax, r in zip(axes[:, 0], ok):
            ax.plot([i / 1000 for i in range(len(r['intervals']))], r['intervals'], linewidth=0.4)
            ax.set_ylim(0, 4000)
            ax.set_ylabel('µs', fontsize=8)
            ax.set_title(f"{r['name']}: inter-arrival at the receiver", fontsize=8)
        fig.tight_layout()
        fig.savefig(os.path.join(out_dir, 'peer-jitter.png'), dpi=90)
        plt.close(fig)
    return rows


# --- end-to-end latency, natively ---

def latency_line(frames, ring, extra=''):
    # Marks at least twice the expected latency apart, so that each pairs with one arrival.
    return (f'lat-{frames}-{ring}|Debug=enable;SyncBufferCount={ring}|--channels 2 --rate {LATENCY_RATE} '
            f'--buffer {frames} --mark-every {2 * ring + 2}{extra}|')


def quantile(v, f):
    v = sorted(v)
    return v[min(len(v) - 1, int(f * (len(v) - 1) + 0.5))] if v else float('nan')


def latency_result(d, frames, ring):
    """Latency of every mark (host return to first byte at the sink) against the prediction."""
    p = played(d)
    if not p:
        return {'frames': frames, 'ring': ring, 'missing': True}
    host = [int(l) for l in open(os.path.join(d, 'host-marks.txt'))]
    sink = [int(l) for l in open(os.path.join(d, 'sink-marks.txt'))]
    lat = []
    for h in host:
        later = [t for t in sink if t > h]   # the first mark to arrive after the host returned
        if later:
            lat.append((later[0] - h) / 1000.0)
    block_ms = frames * 1000.0 / LATENCY_RATE
    cycle_ms = fix_cycle(LATENCY_RATE, 2, 32) / 1000.0
    # The ring holds `ring` blocks ahead of the one the host fills; the packet with a block's
    # first byte is prepared at the burst one cycle before it leaves.
    predicted = ring * block_ms + cycle_ms
    return {'frames': frames, 'ring': ring, 'block_ms': block_ms, 'predicted_ms': predicted,
            'marks': len(host), 'arrived': len(sink), 'p50_ms': quantile(lat, 0.5), 'p99_ms': quantile(lat, 0.99),
            'max_ms': max(lat) if lat else float('nan'), 'underruns': p['underruns'],
            'silent_blocks': None, 'rate_ratio': p['report'].get('rate_ratio', 0), 'load': p['load'],
            'seconds': p['report'].get('stream_seconds', 0), 'never_recovered': p['report'].get('never_recovered', 0)}


def within_block(r):
    return (not r.get('missing') and abs(r['p50_ms'] - r['predicted_ms']) <= r['block_ms']
            and abs(r['p99_ms'] - r['predicted_ms']) <= r['block_ms'])


def latency(native, windows, seconds, tmp):
    command, dirs = play_cases('native', native, windows, [latency_line(f, n) for f, n in LATENCY_CASES], seconds,
                               tmp, 'latency')
    return {'command': command, 'seconds': seconds,
            'results': [latency_result(d, f, n) for (f, n), d in zip(LATENCY_CASES, dirs)]}


def latency_section(lat):
    return table('| Host buffer (frames) | Ring blocks | Predicted (ms) | p50 / p99 / max (ms) | Within one host block '
                 '| Marks sent / seen | Underruns | Load |', lat['results'],
                 lambda r: f"| {r['frames']} ({r['block_ms']:.2f} ms) | {r['ring']} | {r['predicted_ms']:.2f} | "
                           f"{r['p50_ms']:.2f} / {r['p99_ms']:.2f} / {r['max_ms']:.2f} | "
                           f"{'yes' if within_block(r) else '**no**'} | {r['marks']} / {r['arrived']} | "
                           f"{r['underruns']} | {r['load']:.1f} |",
                 name=lambda r: f"{r['frames']} × {r['ring']}")


def latency_soak(native, windows, seconds, out_dir, frames, ring):
    # The logs of a run this long are kept beside the build.
    logs = os.path.join(native, 'bench-latency-soak')
    os.makedirs(logs, exist_ok=True)
    command, dirs = play_cases('native', native, windows, [latency_line(frames, ring)], seconds, logs, 'soak')
    r = latency_result(dirs[0], frames, ring)
    r.update({'command': f'make bench-latency-soak LATENCY_SOAK_SECONDS={int(seconds)} '
                         f'LATENCY_SOAK_CASE={frames}x{ring}', 'script': command,
              'date': datetime.datetime.now(datetime.timezone.utc).strftime('%Y-%m-%d %H:%M UTC'),
              'play_seconds': seconds})
    json.dump(r, open(os.path.join(out_dir, f'latency-soak-{frames}x{ring}.json'), 'w'), indent=1)
    return r


def soak_section(out_dir):
    """One line per setting soaked (its last run, latency-soak-FRAMESxRING.json), the lowest
    latency first, and which of them is the lowest that played clean."""
    runs_found = []
    for name in os.listdir(out_dir):
        if re.fullmatch(r'latency-soak-\d+x\d+\.json', name):
            try:
                runs_found.append(json.load(open(os.path.join(out_dir, name))))
            except (OSError, ValueError):
                pass
    if not runs_found:
        return ['Not run yet (`make bench-latency-soak`).']
    clean = lambda r: (not r.get('missing') and r['underruns'] == 0 and r['never_recovered'] == 0
                       and r['rate_ratio'] >= 0.999)
    lines = []
    for r in sorted(runs_found, key=lambda r: r['frames'] * r['ring']):
        if r.get('missing'):
            lines.append(f"- `{r['command']}` on {r['date']}: the run failed.")
            continue
        lines.append(
            f"- `{r['command']}` on {r['date']} (load {r['load']:.1f} at the start): {r['play_seconds']:.0f} s of "
            f"48 kHz/2 ch/32-bit with a host buffer of {r['frames']} frames and SyncBufferCount={r['ring']} "
            f"(latency predicted {r['predicted_ms']:.2f} ms, measured p50 {r['p50_ms']:.2f} / p99 {r['p99_ms']:.2f} / "
            f"max {r['max_ms']:.2f} ms over {r['marks']} marks): {r['underruns']} underruns in the driver's log, "
            f"{r['never_recovered']} packets never recovered, {r['rate_ratio']:.4f} of the byte rate at the sink. "
            + ('It played without an underrun.' if clean(r) else '**It did not play clean.**'))
    best = next((r for r in sorted(runs_found, key=lambda r: r['predicted_ms']) if clean(r)), None)
    lines += ['', f"The lowest latency that played its whole run clean here: {best['frames']} frames × "
                  f"{best['ring']} ({best['predicted_ms']:.2f} ms, {best['play_seconds']:.0f} s)." if best
              else 'No setting has played its whole run clean yet.']
    return lines


# --- the throughput ceiling ---

def throughput(native, windows, seconds, tmp):
    def measure(case, d, p):
        name, _, rate, _, _ = case
        cpu, rep = p['cpu'], p['report']
        percent = lambda ticks: 100.0 * ticks / cpu['ticks_per_s'] / cpu['seconds']
        return {'name': name, 'seconds': rep.get('stream_seconds', 0), 'rate_ratio': rep['rate_ratio'],
                'mb_per_s': rep.get('nominal_byte_rate', 0) / 1e6, 'never_recovered': rep.get('never_recovered', 0),
                'resend_requests': rep.get('resend_requests', 0), 'underruns': p['underruns'], 'blocks': p['blocks'],
                'due': rep.get('stream_seconds', 0) * rate / p['frames'], 'player_cpu': percent(cpu['player_ticks']),
                'sink_cpu': percent(cpu['sink_ticks']), 'load': p['load']}
    return run_cases('native', native, windows, CEILING_CASES, seconds, tmp, 'ceiling', measure)


def throughput_clean(r):
    return (not r.get('missing') and r['underruns'] == 0 and r['never_recovered'] == 0 and r['rate_ratio'] >= 0.999
            and r['blocks'] >= 0.99 * r['due'])


def throughput_section(c):
    return table('| Stream | MB/s | Streamed (s) | Bytes delivered / nominal | Never recovered (resend requests) | '
                 'Underruns | Host blocks / due | Player CPU (% of a core) | Sink CPU (% of a core) | Load |',
                 c['results'],
                 lambda r: f"| {r['name']} | {r['mb_per_s']:.1f} | {r['seconds']:.1f} | {r['rate_ratio']:.4f} | "
                           f"{r['never_recovered']} ({r['resend_requests']}) | {r['underruns']} | "
                           f"{r['blocks']} / {r['due']:.0f} | {r['player_cpu']:.0f} | {r['sink_cpu']:.0f} | "
                           f"{r['load']:.1f} |")


# --- the goals, each judged from the figures of this run ---

def below_full_rate(r):
    """A Wine case short of its byte rate, or of its host block rate from the first call on."""
    return r['report']['rate_ratio'] < 0.999 or r['block_rate'] < 0.99


def full_rate_shortfalls(wine_runs):
    """The Wine cases short of their byte rate or host block rate, named with their figures."""
    res = wine_runs['results']
    short = [r['name'] for r in res if r.get('missing')]
    short += [f"{r['name']} ({r['report']['rate_ratio']:.3f} of its bytes, {r['block_rate']:.3f} of its block rate)"
              for r in res if not r.get('missing') and below_full_rate(r)]
    return short


def goals_section(res):
    """Goal rows for the parts in res (a part that was not asked for has no key)."""
    rows = ['| Goal | Met | From this run |', '|---|---|---|']

    def row(goal, met, text):
        rows.append(f"| {goal} | {'yes' if met else '**no**'} | {text} |")

    if 'pacing' in res:
        pace, off = res['pacing'], []
        for r in pace:
            late, cpu = pacing_ratios(r)
            if late > 1.25 or cpu > 1.5:
                off.append(f"{r['format']} {r['mode']} (p99 {late:.2f}×, CPU {cpu:.2f}×)")
        hosted = [f"{r['format']} {r['host_buffer']['worker']['cpu'] / max(r['limit']['cpu'], 0.01):.2f}×"
                  for r in pace if 'host_buffer' in r]
        row('1. Within 1.25× of the minimal pacer\'s p99 lateness and 1.5× of its CPU', not off,
            f"{len(pace) - len(off)} of {len(pace)} cases within both" + (': outside: ' + '; '.join(off) if off else '')
            + ('. Default mode with the default host buffer as ring block (not judged), CPU: ' + ', '.join(hosted)
               if hosted else ''))

    if 'wine' in res:
        wine_runs = res['wine']
        if wine_runs:
            w = wine_runs['results']
            short = full_rate_shortfalls(wine_runs)
            limits = [f"{c['name']} {c['ceiling']:.3f}" for c in res.get('wine_ceiling', []) if not c.get('missing')]
            row('2a. Under Wine every format at its full byte rate (≥ 0.999) and host block rate', not short,
                f"{len(w) - len(short)} of {len(w)} formats" + (': short: ' + '; '.join(short) if short else '')
                + ('; Wine\'s own ceiling (the minimal pacer flat out): ' + ', '.join(limits) if limits else ''))
            first = w[0] if w and not w[0].get('missing') else None
            if first:
                b = first['report']['bursts']
                off = abs(b['interval_mean_us'] - first['cycle']) / first['cycle']
                met = off <= 0.005 and b['oversized'] == 0 and b['p99_deviation_us'] < 250
                paced = res.get('wine_paced')
                limit = ''
                if paced and not paced.get('missing'):
                    pb = paced['bursts']
                    limit = (f"; the minimal pacer under Wine at the same pace: mean {pb['interval_mean_us']:.0f} µs, "
                             f"{paced['late']} intervals over 1.5 cycles (the driver {first['late']}), "
                             f"p99 deviation {pb['p99_deviation_us']:.0f} µs")
                row('2b. Under Wine at 44.1 kHz/2 ch: mean interval within 0.5 % of the cycle, no doubled burst, '
                    'p99 deviation < 250 µs', met,
                    f"mean {b['interval_mean_us']:.0f} µs against {first['cycle']} ({off * 100:.1f} %), "
                    f"{b['oversized']} larger bursts, p99 deviation {b['p99_deviation_us']:.0f} µs" + limit)
        else:
            row('2. Under Wine', False, 'not run (no Windows build)')
        plain_runs = res.get('wine_plain')
        if plain_runs:
            p = plain_runs['results']
            short = full_rate_shortfalls(plain_runs)
            row('2c. The same figures for a build that cannot use the precise waits (reported, not a target)', True,
                f"{len(p) - len(short)} of {len(p)} formats at full rate with the ordinary waits"
                + (': short: ' + '; '.join(short) if short else ''))
        else:
            row('2c. The same figures for a build that cannot use the precise waits', False,
                'not run (no -DVELMORA_PLAIN_WAITS=ON Windows build)')

    if 'peer' in res:
        peers = {r['name'].split()[0]: r for r in res['peer']['results'] if not r.get('missing')}
        if 'JackTrip' in peers and 'Velmora' in peers:
            j, v = peers['JackTrip'], peers['Velmora']
            met = v['sender_ms_per_s'] < j['sender_ms_per_s'] and v['jitter_p99'] < j['jitter_p99']
            row('3. Less sender CPU and inter-arrival jitter than JackTrip', met,
                f"CPU {v['sender_ms_per_s']:.1f} against {j['sender_ms_per_s']:.1f} ms/s (JackTrip without its JACK "
                f"server), jitter p99 {v['jitter_p99']:.0f} against {j['jitter_p99']:.0f} µs")
        else:
            row('3. Less sender CPU and inter-arrival jitter than JackTrip', False, 'a run failed')

    if 'latency' in res:
        lat = res['latency']['results']
        off = [f"{r['frames']} frames × {r['ring']}" + ('' if r.get('missing') else
               f" (p50 {r['p50_ms']:.2f}, p99 {r['p99_ms']:.2f} against {r['predicted_ms']:.2f} ms)")
               for r in lat if not within_block(r)]
        row('4. End-to-end latency p50 and p99 within one host block of the prediction', not off,
            f"{len(lat) - len(off)} of {len(lat)} settings within" + (': outside: ' + '; '.join(off) if off else ''))

    if 'ceiling' in res:
        c = res['ceiling']
        bad = [r['name'] for r in c['results'] if not throughput_clean(r)]
        row(f"5. Throughput ceiling: the largest formats for {c['seconds']:.0f} s without underrun or unrecovered "
            'packet', not bad, ('both clean' if not bad else 'not clean: ' + ', '.join(bad))
            + (f" (a {c['seconds']:.0f} s run, shorter than the 60 s of the goal)" if c['seconds'] < 60 else ''))

    if 'converters' in res:
        rates = res['converters']['rates']
        base = rates['memcpy'][65536]
        slow = [f"{n} {r[65536] / base:.2f}×" for n, r in rates.items() if 'Reverse' in n and r[65536] < base / 2]
        row('6. Bit-reversing converters at least half of memcpy (64 KiB)', not slow,
            'all at least half' if not slow else 'below half: ' + ', '.join(slow))

    if 'fillblock' in res:
        cases = res['fillblock']['cases']
        worst = min(cases, key=lambda n: cases[n]['fillBlock'] / cases[n]['memcpy'])
        ratios = ', '.join(f"{n.replace('_', ' ')} {c['fillBlock'] / c['memcpy']:.2f}×" for n, c in cases.items())
        row('6b. fillBlock per byte against memcpy (measured; no bound set)', True,
            f"{ratios}; the least {worst.replace('_', ' ')}")
    return rows


def splice(old, new, parts):
    """old with the sections of parts (between <!-- part --> and <!-- /part -->) and their goal
    rows taken from new; a section or row that old lacks goes in before the end-to-end section
    or after the last goal row."""
    for part in parts:
        pattern = re.compile(rf'<!-- {part} -->.*?<!-- /{part} -->', re.S)
        found = pattern.search(new)
        if not found:
            continue
        if pattern.search(old):
            old = pattern.sub(lambda _: found.group(0), old)
        elif '## End to end' in old:
            at = old.index('## End to end')
            old = old[:at] + found.group(0) + '\n\n' + old[at:]
        else:
            old = old.rstrip('\n') + '\n\n' + found.group(0) + '\n'
    for line in new.split('\n'):
        goal = re.match(r'\| (\d+[a-z]?)\. ', line)
        if not goal:
            continue
        if goal.group(0) in old:
            old = re.sub(rf'^{re.escape(goal.group(0))}.*$', lambda _: line, old, flags=re.M)
        else:
            rows = list(re.finditer(r'^\| \d+[a-z]?\. .*$', old, flags=re.M))
            if rows:
                old = old[:rows[-1].end()] + '\n' + line + old[rows[-1].end():]
    return old


def main():
    ap = argparse.ArgumentParser()
    ap.add_argument('native')
    ap.add_argument('windows')
    ap.add_argument('out')
    ap.add_argument('--seconds', type=float, default=3.0)
    ap.add_argument('--plain-windows', default='', help='a Windows build with the ordinary waits only')
    ap.add_argument('--ceiling-seconds', type=float, default=60.0)
    ap.add_argument('--only', help='comma-separated parts of ' + ','.join(PARTS_ORDER))
    ap.add_argument('--latency-soak', type=float, metavar='SECONDS')
    ap.add_argument('--soak-case', default=f'{SOAK_CASE[0]}x{SOAK_CASE[1]}', metavar='FRAMESxRING',
                    help='host buffer frames and SyncBufferCount of the latency soak')
    args = ap.parse_args()
    out_dir = os.path.dirname(os.path.abspath(args.out))
    img_dir = os.path.join(out_dir, 'performance')
    os.makedirs(img_dir, exist_ok=True)
    parts = args.only.split(',') if args.only else list(PARTS_ORDER)
    if args.latency_soak:
        parts = ['soak']
    started = datetime.datetime.now(datetime.timezone.utc)
    res, text = {}, open(os.path.join(os.path.dirname(__file__), 'performance.md.in')).read()
    source_root = SOURCE_ROOT + '/'
    run_folder = None

    def fill(key, value):
        """The template's @KEY@ becomes value; paths in it show from the source tree, and the
        run's temporary folder as TMP."""
        nonlocal text
        value = value.replace(source_root, '')
        if run_folder:
            value = value.replace(run_folder, 'TMP')
        text = text.replace(f'@{key}@', value)

    with tempfile.TemporaryDirectory() as tmp:
        run_folder = tmp
        if 'converters' in parts:
            res['converters'] = conv = converters(args.native)
            fill('CONVERTERS_COMMAND', conv['command'])
            fill('CONVERTERS_LOAD', f"{conv['load']:.1f}")
            fill('CONVERTERS', '\n'.join(converter_section(conv, img_dir)))
        if 'fillblock' in parts:
            res['fillblock'] = fb = block_exchange(args.native)
            fill('FILLBLOCK_COMMAND', fb['command'])
            fill('FILLBLOCK_LOAD', f"{fb['load']:.1f}")
            fill('FILLBLOCK', '\n'.join(fillblock_section(fb)))
        if 'pacing' in parts:
            res['pacing'] = pace = pacing(args.native, args.seconds, tmp)
            fill('PACING_ENGINE_COMMAND', pace[0]['rounds'][0]['engine']['command'])
            fill('PACING_PACER_COMMAND', pace[0]['rounds'][0]['pacer']['command'])
            fill('PACING_ROUNDS', str(PACING_ROUNDS))
            fill('PACING', '\n'.join(pacing_section(pace, img_dir)))
        if 'peer' in parts:
            res['peer'] = peer_runs = peer(args.native, max(10, args.seconds), tmp)
            fill('PEER_COMMAND', peer_runs['command'])
            fill('PEER', '\n'.join(peer_section(peer_runs, img_dir)))
        if 'wine' in parts:
            res['wine'] = wine_runs = (wine(args.native, args.windows, max(4, args.seconds), tmp)
                                       if os.path.isdir(args.windows) else None)
            fill('WINE_COMMAND', wine_runs['command'] if wine_runs else '(not run)')
            fill('WINE_ROUNDS', str(WINE_ROUNDS))
            fill('WINE', '\n'.join(wine_section(wine_runs, img_dir) if wine_runs else ['No Windows build: not run.']))
            res['wine_paced'] = paced = (wine_paced(args.native, args.windows, wine_runs, max(4, args.seconds), tmp)
                                         if wine_runs else None)
            fill('WINE_PACED', '\n'.join(wine_paced_section(paced)))
            res['wine_ceiling'] = wine_limit = (wine_ceiling(args.native, args.windows, wine_runs, max(4, args.seconds),
                                                             tmp) if wine_runs else [])
            fill('WINE_CEILING', '\n'.join(wine_ceiling_section(wine_limit)))
            res['wine_plain'] = plain_runs = (wine(args.native, args.plain_windows, max(4, args.seconds), tmp,
                                                   'wine-plain')
                                              if args.plain_windows and os.path.isdir(args.plain_windows) else None)
            fill('WINE_PLAIN_COMMAND', plain_runs['command'] if plain_runs else '(not run)')
            fill('WINE_PLAIN', '\n'.join(wine_section(plain_runs, img_dir, 'wine-plain-intervals.png') if plain_runs
                                         else ['No Windows build with the ordinary waits: not run.']))
        if 'latency' in parts:
            res['latency'] = lat = latency(args.native, args.windows, max(10, args.seconds), tmp)
            fill('LATENCY_COMMAND', lat['command'])
            fill('LATENCY', '\n'.join(latency_section(lat)))
        if 'ceiling' in parts:
            res['ceiling'] = ceil = throughput(args.native, args.windows, args.ceiling_seconds, tmp)
            fill('CEILING_COMMAND', ceil['command'])
            fill('CEILING_SECONDS', f'{args.ceiling_seconds:.0f}')
            fill('CEILING', '\n'.join(throughput_section(ceil)))
        if args.latency_soak:
            frames, ring = (int(v) for v in args.soak_case.split('x'))
            latency_soak(args.native, args.windows, args.latency_soak, img_dir, frames, ring)
    fill('SOAK', '\n'.join(soak_section(img_dir)))
    fill('GOALS', '\n'.join(goals_section(res)))
    fill('MACHINE', machine())
    fill('DATE', started.strftime('%Y-%m-%d %H:%M UTC'))
    if args.only or args.latency_soak:
        text = splice(open(args.out).read(), text, parts)
    open(args.out, 'w').write(text)

    strip = lambda rows, key: [{k: v for k, v in r.items() if k != key} for r in rows]
    saved = {'converters': res.get('converters'), 'fillblock': res.get('fillblock'),
             'pacing': strip(res['pacing'], 'logs') if 'pacing' in res else None,
             'peer': strip(res['peer']['results'], 'intervals') if 'peer' in res else None,
             'wine': strip((res['wine'] or {}).get('results', []), 'intervals') if 'wine' in res else None,
             'wine_ceiling': res.get('wine_ceiling'), 'wine_paced': res.get('wine_paced'),
             'wine_plain': (strip((res['wine_plain'] or {}).get('results', []), 'intervals')
                            if 'wine_plain' in res else None),
             'latency': res.get('latency'), 'ceiling': res.get('ceiling')}
    path = os.path.join(img_dir, 'results.json')
    if args.only or args.latency_soak:
        try:
            previous = json.load(open(path))
        except (OSError, ValueError):
            previous = {}
        saved = {**previous, **{k: v for k, v in saved.items() if v is not None}}
    json.dump(saved, open(path, 'w'), indent=1, default=str)


if __name__ == '__main__':
    main()
