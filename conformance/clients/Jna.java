// Makes every call of a quellot call list through Java's JNA and leaves the
// probes' lines on standard output.
//
//     java -cp /usr/share/java/jna.jar Jna.java LIBRARY CALLS
//
// A float is built with Float.intBitsToFloat and passed as a float: its bits
// arrive as they stand. A file name is passed as a NUL-terminated byte
// array, never as a String, which JNA would encode.
import com.sun.jna.Library;
import com.sun.jna.Native;
import com.sun.jna.Pointer;
import java.io.ByteArrayOutputStream;
import java.nio.charset.StandardCharsets;
import java.nio.file.Files;
import java.nio.file.Path;
import java.util.ArrayList;
import java.util.List;

public class Jna {
    public interface Quellot extends Library {
        long call_float(float value);
        long call_float_filename(byte[] filename, float value);
        long call_double(double value);
        long call_double_filename(byte[] filename, double value);
    }

    public interface CRuntime extends Library {
        int fflush(Pointer stream);
    }

    record Call(String probe, long bits, byte[] name) {}

    static final String HEX = "0123456789abcdefABCDEF";

    static boolean hex(String text, int width) {
        return text.length() == width && text.chars().allMatch(c -> HEX.indexOf(c) >= 0);
    }

    // A FILENAME field's \\ \t \n \r \xHH (either case) decoded, with a NUL.
    static byte[] unescape(String field) {
        ByteArrayOutputStream name = new ByteArrayOutputStream();
        for (int i = 0; i < field.length(); ++i) {
            char c = field.charAt(i);
            if (c < 0x20 || c > 0x7e) throw new IllegalArgumentException("FILENAME holds a byte that is not printable ASCII");
            char e = c == '\\' && i + 1 < field.length() ? field.charAt(i + 1) : 0;
            String h = i + 4 <= field.length() ? field.substring(i + 2, i + 4) : "";
            if (c != '\\') name.write(c);
            else if ("\\tnr".indexOf(e) >= 0) { name.write("\\\t\n\r".charAt("\\tnr".indexOf(e))); ++i; }
            else if (e == 'x' && hex(h, 2) && !h.equals("00")) { name.write(Integer.parseInt(h, 16)); i += 3; }
            else throw new IllegalArgumentException("FILENAME has a bad escape at '" + field.substring(i) + "'");
        }
        name.write(0);
        return name.toByteArray();
    }

    // Every call of the list, all checked before any is made. Lines end at
    // LF; one CR before it goes first; a line of spaces and tabs only, or
    // whose first byte is '#', is a comment.
    static List<Call> readCalls(String path) throws Exception {
        String text = new String(Files.readAllBytes(Path.of(path)), StandardCharsets.ISO_8859_1);
        List<Call> calls = new ArrayList<>();
        String[] lines = text.split("\n", -1);
        for (int number = 1; number <= lines.length; ++number) {
            String line = lines[number - 1];
            if (line.endsWith("\r")) line = line.substring(0, line.length() - 1);
            if (line.chars().allMatch(c -> c == ' ' || c == '\t') || line.startsWith("#")) continue;
            String[] fields = line.split("\t", -1);
            try {
                boolean single = fields[0].equals("call_float") || fields[0].equals("call_float_filename");
                boolean filename = fields[0].equals("call_float_filename") || fields[0].equals("call_double_filename");
                if (!single && !filename && !fields[0].equals("call_double"))
                    throw new IllegalArgumentException("unknown probe '" + fields[0] + "'");
                if (fields.length != (filename ? 3 : 2))
                    throw new IllegalArgumentException(fields[0] + " takes " + (filename ? 3 : 2) + " tab-separated fields");
                if (!hex(fields[1], single ? 8 : 16))
                    throw new IllegalArgumentException("BITS '" + fields[1] + "' is not " + (single ? 8 : 16) + " hexadecimal digits");
                calls.add(new Call(fields[0], Long.parseUnsignedLong(fields[1], 16), filename ? unescape(fields[2]) : null));
            } catch (IllegalArgumentException error) {
                System.err.println(path + ":" + number + ": " + error.getMessage());
                System.exit(2);
            }
        }
        return calls;
    }

    public static void main(String[] args) throws Exception {
        if (args.length != 2) {
            System.err.println("usage: java -cp jna.jar Jna.java LIBRARY CALLS");
            System.exit(2);
        }
        List<Call> calls = readCalls(args[1]);
        Quellot lib = Native.load(args[0], Quellot.class);
        boolean failed = false;
        for (Call call : calls) {
            float f = Float.intBitsToFloat((int) call.bits());
            double d = Double.longBitsToDouble(call.bits());
            long result = switch (call.probe()) {
                case "call_float" -> lib.call_float(f);
                case "call_float_filename" -> lib.call_float_filename(call.name(), f);
                case "call_double" -> lib.call_double(d);
                default -> lib.call_double_filename(call.name(), d);
            };
            failed |= result != 0;
        }
        // The lines wait in the C runtime's buffer: flush it through JNA.
        CRuntime runtime = Native.load(System.getProperty("os.name").startsWith("Windows") ? "msvcrt" : "c", CRuntime.class);
        if (runtime.fflush(null) != 0) {
            System.err.println("the probes' lines could not all be written to standard output");
            System.exit(4);
        }
        System.exit(failed ? 1 : 0);
    }
}
