"""Runs the benchmark programs and reads what they report (used by make_report.py)."""
import json
import os
import subprocess
import tempfile
import time


def last_json(text):
    """The JSON object that a program printed last (other lines may precede it)."""
    start = text.find('{"')
    if start < 0:
        raise ValueError('no JSON in output: ' + text[-500:])
    return json.loads(text[start:])


def load_average():
    return os.getloadavg()[0]


def engine(build, fmt, frames, mode, seconds, burst_log=None, cycle_us=1000):
    """The engine against velmora-sink on loopback (bench_pacing)."""
    cmd = [f'{build}/bench/pacing/bench_pacing', '--format', hex(fmt), '--frames', str(frames),
           '--thread-mode', hex(mode), '--cycle-us', str(cycle_us), '--seconds', str(seconds)]
    if burst_log:
        cmd += ['--burst-log', burst_log]
    load = load_average()
    out = subprocess.run(cmd, capture_output=True, text=True, timeout=seconds + 60, check=True).stdout
    result = last_json(out)
    result['command'] = ' '.join(cmd)
    result['load'] = load
    return result


def pacer(build, fmt, cycle_us, packets, payload, seconds, spin_below=0, switch_blocking=False,
          burst_log=None, program=None, env=None):
    """The minimal pacer against velmora-sink on loopback (bench_pacer; PROGRAM, a command list,
    runs another build of it, e.g. the Windows one under Wine with ENV)."""
    with tempfile.TemporaryDirectory() as tmp:
        report = os.path.join(tmp, 'report.json')
        port_file = os.path.join(tmp, 'port')
        sink_cmd = [f'{build}/tools/velmora-sink/velmora-sink', '--listen', '::1', '--port', '0',
                    '--port-file', port_file, '--report', report, '--expected-cycle-us', str(cycle_us),
                    '--time-limit', str(seconds + 20), '--idle-timeout', '3', '--quiet']
        if burst_log:
            sink_cmd += ['--burst-log', burst_log]
        sink = subprocess.Popen(sink_cmd, stdout=subprocess.DEVNULL)
        for _ in range(100):
            if os.path.exists(port_file) and open(port_file).read().strip():
                break
            time.sleep(0.05)
        port = open(port_file).read().strip()
        cmd = (program or [f'{build}/bench/pacer/bench_pacer']) + ['--port', port, '--format', hex(fmt),
               '--cycle-us', str(cycle_us), '--packets', str(packets), '--payload', str(int(payload)),
               '--seconds', str(seconds), '--spin-below', str(spin_below),
               '--switch-blocking', '1' if switch_blocking else '0']
        load = load_average()
        out = subprocess.run(cmd, capture_output=True, text=True, timeout=seconds + 60, check=True,
                             env=env).stdout
        sink.wait(timeout=30)
        result = last_json(out)
        result['sink'] = json.load(open(report))
        result['command'] = ' '.join(cmd).replace(f'--port {port} ', '--port PORT ')
        result['load'] = load
        return result
